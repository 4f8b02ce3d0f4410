// Start-up pieces against the real file system and registry of a throw-away Wine prefix.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <windows.h>
#include <shellapi.h>

#include "app/command_line.h"
#include "base/file_identity.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/paths.h"
#include "app/startup.h"
#include "base/state.h"
#include "base/text.h"
#include "windows/engine_files.h"

namespace {

// A fresh folder under the temporary folder, removed with its files at the end.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::wstring& name) : path_(temp_folder() + name) {
        remove_all();
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchFolder() { remove_all(); }
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }
    void touch(const std::wstring& name) const {
        FileHandle f(CreateFileW(file(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(static_cast<bool>(f));
    }

  private:
    void remove_all() {
        std::wstring from = path_;
        from.push_back(L'\0'); // SHFileOperation takes a double-terminated list
        SHFILEOPSTRUCTW op = {};
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = FOF_NO_UI;
        SHFileOperationW(&op);
    }
    std::wstring path_;
};

void reset_run_parameters() {
    g_runMode = Install;
    g_autoMode = false;
    g_waitPid = 0;
    g_installDir.clear();
    set_installed_version("");
    RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
}

class Startup : public ::testing::Test {
  protected:
    void SetUp() override { reset_run_parameters(); }
    void TearDown() override { reset_run_parameters(); }
};

TEST_F(Startup, StaleCopiesAreDeletedByExactNameButNeverTheRunningOne) {
    ScratchFolder dir(L"cleanup");
    dir.touch(L"plannix-setup-1.exe");
    dir.touch(L"plannix-setup-.exe");
    dir.touch(L"plannix-setup-2.EXE");     // extension compared with case
    dir.touch(L"Plannix-setup-3.exe");     // prefix compared with case
    dir.touch(L"plannix-setup-4.exe.bak"); // extension is the text after the last dot
    dir.touch(L"plannix-setup-5.txt");
    dir.touch(L"other.exe");
    dir.touch(L"running.exe");
    CreateDirectoryW(dir.file(L"plannix-setup-6.exe").c_str(), nullptr);
    // The running program under another name: identity, not the name, protects it.
    ASSERT_TRUE(CreateHardLinkW(dir.file(L"plannix-setup-7.exe").c_str(),
                                dir.file(L"running.exe").c_str(), nullptr));

    delete_stale_temp_copies(dir.path() + L"\\", dir.file(L"running.exe"));

    EXPECT_FALSE(exists(dir.file(L"plannix-setup-1.exe")));
    EXPECT_FALSE(exists(dir.file(L"plannix-setup-.exe")));
    EXPECT_TRUE(exists(dir.file(L"plannix-setup-2.EXE")));
    EXPECT_TRUE(exists(dir.file(L"Plannix-setup-3.exe")));
    EXPECT_TRUE(exists(dir.file(L"plannix-setup-4.exe.bak")));
    EXPECT_TRUE(exists(dir.file(L"plannix-setup-5.txt")));
    EXPECT_TRUE(exists(dir.file(L"other.exe")));
    EXPECT_TRUE(exists(dir.file(L"plannix-setup-6.exe")));
    EXPECT_TRUE(exists(dir.file(L"plannix-setup-7.exe")));
    EXPECT_TRUE(exists(dir.file(L"running.exe")));
}

// Without a temporary folder the listing must not fall back to the current folder.
TEST_F(Startup, CleanupWithoutAUsableFolderDeletesNothingElsewhere) {
    ScratchFolder dir(L"current");
    dir.touch(L"plannix-setup-1.exe");
    dir.touch(L"running.exe");
    wchar_t saved[MAX_PATH] = {};
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, saved), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.path().c_str()));
    delete_stale_temp_copies(L"", dir.file(L"running.exe"));
    delete_stale_temp_copies(temp_folder() + L"no-such-folder\\", dir.file(L"running.exe"));
    delete_stale_temp_copies(L".\\", dir.file(L"missing.exe")); // no identity of its own
    SetCurrentDirectoryW(saved);
    EXPECT_TRUE(exists(dir.file(L"plannix-setup-1.exe")));
}

// Writes a value of the uninstall entry, creating the key as needed.
void set_entry_value(const wchar_t* name, DWORD type, const void* data, size_t size) {
    RegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data),
                             static_cast<DWORD>(size)),
              ERROR_SUCCESS);
}

void set_entry_string(const wchar_t* name, const std::wstring& text) {
    set_entry_value(name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

TEST_F(Startup, RegistryGivesVersionAndFolder) {
    const std::wstring version = L"2.1 «бета»";
    const std::wstring location = L"C:\\Apps\\Планикс";
    set_entry_string(L"DisplayVersion", version);
    set_entry_string(L"InstallLocation", location);
    find_existing_installation();
    EXPECT_EQ(get_installed_version(), utf8_from_wide(version));
    EXPECT_EQ(g_installDir, location);

    // "/dir" keeps its folder, but the version still comes from the registry.
    g_installDir.clear();
    set_installed_version("");
    parse_command_line({L"/dir", L"D:\\Elsewhere"});
    find_existing_installation();
    EXPECT_EQ(g_installDir, L"D:\\Elsewhere");
    EXPECT_EQ(get_installed_version(), utf8_from_wide(version));
}

TEST_F(Startup, OverlongOrWronglyTypedValuesCountAsMissing) {
    set_entry_string(L"DisplayVersion", std::wstring(600, L'x')); // 1202 bytes with its end
    const DWORD number = 7;
    set_entry_value(L"InstallLocation", REG_DWORD, &number, sizeof(number));
    find_existing_installation();
    EXPECT_EQ(get_installed_version(), "");
    EXPECT_TRUE(g_installDir.empty());

    // Just inside the 1040-byte buffer: 519 characters and the terminator.
    set_entry_string(L"DisplayVersion", std::wstring(519, L'v'));
    find_existing_installation();
    EXPECT_EQ(get_installed_version(), std::string(519, 'v'));
}

// Only Setup's own "install.json" beside the program marks an installation: setup.exe started from
// a Downloads folder holding another program's record neither installs there nor deletes the files
// that record names.
TEST_F(Startup, OnlySetupsOwnRecordBesideTheProgramMarksItsFolder) {
    const struct {
        const char* what;
        std::string record;
        bool adopted;
    } cases[] = {
        {"Setup's record",
         "{\"components\": [\"core\"], \"files\": {}, \"offered\": [\"core\", \"nvidia\", "
         "\"amd\", \"intel\", \"vr\"], \"version\": \"1.0\"}",
         true},
        {"another program's record", "{\"files\": {\"report.docx\": \"ab\"}}", false},
        {"an empty file", "", false},
        {"a record without core",
         "{\"components\": [], \"offered\": [\"core\", \"nvidia\", "
         "\"amd\", \"intel\", \"vr\"]}",
         false},
    };
    for (const auto& c : cases) {
        ScratchFolder dir(L"installed-here");
        {
            std::ofstream out(std::filesystem::path(dir.file(L"install.json")), std::ios::binary);
            out << c.record;
        }
        g_installDir.clear();
        settle_install_dir(dir.file(L"setup.exe"));
        EXPECT_EQ(g_installDir == dir.path(), c.adopted) << c.what;
    }
}

TEST_F(Startup, DefaultFolderIsAbsoluteUnderLocalPrograms) {
    ScratchFolder dir(L"not-installed");
    settle_install_dir(dir.file(L"setup.exe"));
    wchar_t local[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH), 0u);
    EXPECT_EQ(g_installDir, std::wstring(local) + L"\\Programs\\Kvartalis\\Plannix");
    EXPECT_EQ(g_installDir.substr(1, 2), L":\\");
}

TEST_F(Startup, GivenFolderIsKept) {
    g_installDir = L"E:\\Mine";
    ScratchFolder dir(L"has-record");
    dir.touch(L"install.json");
    settle_install_dir(dir.file(L"setup.exe"));
    EXPECT_EQ(g_installDir, L"E:\\Mine");
}

TEST(FileIdentity, SameFolderThroughAnotherSpelling) {
    ScratchFolder dir(L"identity");
    CreateDirectoryW(dir.file(L"Sub").c_str(), nullptr);
    EXPECT_TRUE(same_file(dir.file(L"Sub"), dir.file(L"sub\\")));
    EXPECT_TRUE(same_file(dir.file(L"Sub"), dir.path() + L"\\.\\Sub"));
    EXPECT_FALSE(same_file(dir.file(L"Sub"), dir.path()));
    EXPECT_FALSE(same_file(dir.file(L"missing"), dir.file(L"missing")));
}

TEST(HandoverQuoting, CommandLineToArgvGivesTheFolderBack) {
    for (const std::wstring folder : {L"D:\\Apps\\", L"D:\\Apps\\\\", L"C:\\Program Files\\Plannix",
                                      L"C:\\Пути с пробелами\\Планикс\\", L"\\\\server\\share\\"}) {
        const std::wstring line = L"copy.exe /uninstall /dir " + quote_argument(folder) + L" /auto";
        int count = 0;
        LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
        ASSERT_NE(argv, nullptr);
        ASSERT_EQ(count, 5) << utf8_from_wide(line);
        EXPECT_EQ(std::wstring(argv[3]), folder);
        EXPECT_EQ(std::wstring(argv[4]), L"/auto");
        LocalFree(argv);
    }
}

TEST(Handover, TheCopyIsNamedForTheOriginalProcess) {
    reset_run_parameters();
    ScratchFolder install(L"handover-install");
    ScratchFolder temp(L"handover-temp");
    // Any program that ends by itself stands in for setup.exe.
    ASSERT_TRUE(CopyFileW(L"C:\\windows\\system32\\hostname.exe",
                          install.file(L"setup.exe").c_str(), FALSE));
    g_installDir = install.path();
    EXPECT_TRUE(hand_over_to_temp_copy(temp.path() + L"\\", install.file(L"setup.exe")));
    const std::wstring name = L"plannix-setup-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    EXPECT_TRUE(exists(temp.file(name))) << utf8_from_wide(name);
    g_installDir.clear();
    Sleep(500); // let the copy end before its folder is removed
}

TEST(HandoverQuoting, NoHandoverOutsideTheInstallFolder) {
    reset_run_parameters();
    ScratchFolder dir(L"elsewhere");
    g_installDir = dir.file(L"does-not-exist");
    EXPECT_FALSE(hand_over_to_temp_copy(temp_folder(), dir.file(L"setup.exe")));
    g_installDir.clear();
}

} // namespace
