// The removal against the real files, registry and known folders of a throw-away Wine prefix
// (prepared by removal_prefix.sh), run the way the window runs it: start_worker.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "base/held_files.h"
#include "base/handles.h"
#include "base/known_folders.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/state.h"
#include "base/text.h"
#include "app/worker.h"
#include "base/setup_log.h"
#include "removal/deletion_guard.h"
#include "windows/engine_files.h"

namespace fs = std::filesystem;

namespace {

const wchar_t kRunningMessage[] = L"Планикс открыт — закройте его и нажмите «Повторить».";

std::wstring known(REFKNOWNFOLDERID id) {
    std::wstring path = known_folder(id);
    EXPECT_FALSE(path.empty());
    return path;
}

std::wstring app_data_folder() {
    return known(FOLDERID_LocalAppData) + L"\\Kvartalis\\Plannix";
}

void write_file(const std::wstring& path, const std::string& bytes = "x") {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(fs::path(path), std::ios::binary) << bytes;
}

bool entry_exists() {
    RegKey key;
    return RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void set_entry_value(const wchar_t* name, const std::wstring& value) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kUninstallKey, name, REG_SZ, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

// An installation as the install run leaves it: the record naming `files` (each made) and
// `unmade` (names only), setup.exe, both shortcuts and the uninstall entry.
void lay_out_installation(const std::wstring& dir, const std::vector<std::string>& files,
                          const std::vector<std::string>& unmade = {}) {
    std::string record = "{\n \"components\": [\"core\"],\n \"files\": {";
    std::vector<std::string> keys = files;
    keys.insert(keys.end(), unmade.begin(), unmade.end());
    for (size_t i = 0; i < keys.size(); ++i)
        record += (i ? ",\n  \"" : "\n  \"") + keys[i] + "\": \"" + std::string(64, 'a') + "\"";
    record += "\n },\n \"offered\": [\"core\", \"nvidia\", \"amd\", \"intel\", \"vr\"],\n "
              "\"version\": \"1.0\"\n}";
    for (const std::string& file : files)
        write_file(join_path(dir, wide_from_utf8(file)));
    write_file(join_path(dir, kRecordFileName), record);
    write_file(join_path(dir, kSetupExeName), "MZ");
    write_file(join_path(known(FOLDERID_Programs), g_shortcutName));
    write_file(join_path(known(FOLDERID_Desktop), g_shortcutName));
    set_entry_value(L"InstallLocation", dir);
    set_entry_value(L"UninstallString", L"\"" + join_path(dir, kSetupExeName) + L"\" /uninstall");
}

// Runs the removal on the worker thread, as "Удалить" and "Повторить" do, to its end.
WorkerState run_removal(const std::wstring& dir, bool removeUserData) {
    g_runMode = Uninstall;
    g_installDir = dir;
    g_removeUserData = removeUserData;
    start_worker();
    for (int i = 0; i < 1000 && g_workerState.load() == Running; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return g_workerState.load();
}

void expect_shortcuts_and_entry_gone() {
    EXPECT_FALSE(exists(join_path(known(FOLDERID_Programs), g_shortcutName)));
    EXPECT_FALSE(exists(join_path(known(FOLDERID_Desktop), g_shortcutName)));
    EXPECT_FALSE(entry_exists());
}

class Removal : public ::testing::Test {
  protected:
    void SetUp() override {
        g_workerState = Idle;
        // A file held for the whole run is given up after a second, not after the real 15.
        g_heldRetryLimitMs = 1000;
    }
    void TearDown() override {
        g_heldRetryLimitMs = kHeldRetryLimitMs;
        std::error_code ignored;
        fs::remove_all(L"C:\\Apps\\Plannix", ignored);
        fs::remove_all(app_data_folder(), ignored);
        RegDeleteKeyW(HKEY_CURRENT_USER, kUninstallKey);
    }
};

// With the data option, an install folder given as "/dir", or a damaged registry value naming the
// profile or a drive root, is never deleted with everything in it.
TEST(RemovalGuard, RefusesRelativePathsRootsAndFoldersHoldingKnownOnes) {
    const std::wstring profile = known(FOLDERID_Profile);
    const std::wstring local = known(FOLDERID_LocalAppData);
    std::wstring upper = profile;
    CharUpperW(upper.data());
    const struct {
        std::wstring folder;
        bool refused;
    } cases[] = {
        {L"", true},
        {L"Apps\\Plannix", true},
        {L"C:Apps\\Plannix", true},
        {L"\\Apps\\Plannix", true},
        {L"C:\\", true},
        {L"C:", true},
        {L"c:/", true},
        {L"C:\\Apps\\..", true},
        {L"\\\\server\\share", true},
        {L"\\\\server\\share\\", true},
        {L"\\\\?\\C:\\", true},
        {profile, true},
        {profile + L"\\", true},
        {upper, true},
        {profile + L"\\Desktop\\..", true},
        {folder_of(profile), true}, // C:\users holds the profile
        {known(FOLDERID_Desktop), true},
        {known(FOLDERID_Documents), true},
        {known(FOLDERID_Downloads), true},
        {known(FOLDERID_Pictures), true},
        {known(FOLDERID_RoamingAppData), true},
        {local, true},
        {known(FOLDERID_ProgramFiles), true},
        {known(FOLDERID_Windows), true},
        {temp_folder(), true},
        {L"C:\\ProfileLink", true}, // a link that leads to the profile
        {L"C:\\Apps\\Plannix", false},
        {L"C:\\Apps\\Plannix\\", false},
        {L"C:\\Apps\\Not\\There\\Yet", false},
        {known(FOLDERID_Documents) + L"\\Plannix", false},
        {local + L"\\Programs\\Kvartalis\\Plannix", false},
        {local + L"\\Kvartalis\\Plannix", false},
    };
    for (const auto& c : cases) {
        const std::wstring refusal = recursive_delete_refusal(c.folder);
        EXPECT_EQ(!refusal.empty(), c.refused)
            << utf8_from_wide(c.folder) << ": " << utf8_from_wide(refusal);
    }
}

// Record keys that break the path rules never reach outside the install folder, and every
// sub-folder that held recorded files goes once they leave it empty, whatever its name.
TEST_F(Removal, WithoutTheOptionOnlyRecordedFilesGoWithTheFoldersTheyLeaveEmpty) {
    const std::wstring dir = L"C:\\Apps\\Plannix";
    lay_out_installation(
        dir,
        {"plannix.exe", "data/models/chair.bin", "data/readme.txt", "docs/guide.txt",
         "fonts/ui.ttf", "bench/scene.bin", "Модели/стул.bin", "shaders"},
        // Keys that break the path rules: never followed.
        {"../outside.txt", "..\\\\outside.txt", "/Apps/outside.txt", "\\\\Apps\\\\outside.txt",
         "C:/Apps/outside.txt", "", "data/../../outside.txt"});
    // What the user and the application added.
    write_file(L"C:\\Apps\\outside.txt");
    write_file(dir + L"\\notes.txt");
    write_file(dir + L"\\docs\\mine.txt");
    write_file(dir + L"\\bench\\user.bench");
    write_file(dir + L"\\basalt\\map.bin");
    fs::remove_all(dir + L"\\shaders");
    write_file(dir + L"\\shaders\\cache.bin"); // a recorded name that is now a folder
    fs::create_directories(dir + L"\\images");
    write_file(dir + L"\\handmodels", "");
    write_file(app_data_folder() + L"\\settings.json");

    ASSERT_EQ(run_removal(dir, false), Done);

    for (const wchar_t* gone :
         {L"plannix.exe", L"data", L"docs\\guide.txt", L"fonts", L"bench\\scene.bin", L"Модели",
          L"images", L"handmodels", L"install.json", L"setup.exe"})
        EXPECT_FALSE(exists(join_path(dir, gone))) << utf8_from_wide(gone);
    for (const wchar_t* kept : {L"notes.txt", L"docs\\mine.txt", L"bench\\user.bench",
                                L"basalt\\map.bin", L"shaders\\cache.bin"})
        EXPECT_TRUE(exists(join_path(dir, kept))) << utf8_from_wide(kept);
    EXPECT_TRUE(exists(L"C:\\Apps\\outside.txt"));
    EXPECT_TRUE(exists(app_data_folder() + L"\\settings.json"));
    expect_shortcuts_and_entry_gone();
    EXPECT_EQ(last_log_line(), "удалено из C:\\Apps\\Plannix");
    fs::remove(L"C:\\Apps\\outside.txt");
}

// An install folder emptied of its recorded files goes too, whatever sub-folders the release had.
TEST_F(Removal, WithoutTheOptionAnEmptiedInstallFolderGoesToo) {
    const std::wstring dir = L"C:\\Apps\\Plannix";
    lay_out_installation(dir, {"plannix.exe", "licenses/amd-fsr.txt", "fonts/ui.ttf"});
    ASSERT_EQ(run_removal(dir, false), Done);
    EXPECT_FALSE(exists(dir));
    EXPECT_TRUE(exists(L"C:\\Apps"));
}

TEST_F(Removal, WithTheOptionTheFolderAndTheApplicationDataGoWithEverything) {
    const std::wstring dir = L"C:\\Apps\\Plannix";
    lay_out_installation(dir, {"plannix.exe", "fonts/ui.ttf"});
    write_file(dir + L"\\projects\\store\\layout.plx");
    write_file(dir + L"\\notes.txt");
    fs::create_directories(dir + L"\\empty\\deeper");
    write_file(app_data_folder() + L"\\cache\\models\\chair.bin");
    write_file(app_data_folder() + L"\\login.json");

    ASSERT_EQ(run_removal(dir, true), Done);

    EXPECT_FALSE(exists(dir));
    EXPECT_FALSE(exists(app_data_folder()));
    expect_shortcuts_and_entry_gone();
    EXPECT_EQ(last_log_line(), "удалено из C:\\Apps\\Plannix");
}

// The recursive deletion never follows a link inside the folder into its target.
TEST_F(Removal, WithTheOptionALinkInsideTheFolderIsNotFollowed) {
    // removal_prefix.sh made C:\Apps\Linked\link, leading to C:\LinkTarget.
    const std::wstring dir = L"C:\\Apps\\Linked";
    ASSERT_TRUE(GetFileAttributesW((dir + L"\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    lay_out_installation(dir, {"plannix.exe"});
    write_file(dir + L"\\sub\\mine.txt");

    ASSERT_EQ(run_removal(dir, true), Done);

    EXPECT_TRUE(exists(L"C:\\LinkTarget\\sub\\keep.txt"));
    // Everything else went; Wine cannot delete a Unix link itself, Windows deletes the link too.
    std::set<std::wstring> left;
    if (exists(dir))
        for (const auto& entry : fs::directory_iterator(dir))
            left.insert(entry.path().filename().wstring());
    EXPECT_TRUE(left.empty() || left == std::set<std::wstring>{L"link"});
}

// The guard's rule seen from the whole run: in a profile or a drive root only the record's files
// go, and the application data still goes.
TEST_F(Removal, WithTheOptionAProfileOrDriveRootLosesOnlyWhatTheRecordNames) {
    const std::wstring profile = known(FOLDERID_Profile);
    for (const std::wstring& dir : {profile, std::wstring(L"C:\\")}) {
        SCOPED_TRACE(utf8_from_wide(dir));
        lay_out_installation(dir, {"plannix-test.exe", "PlannixTest/sub/x.dll"});
        write_file(join_path(dir, L"PlannixTest\\keep.txt"));
        write_file(join_path(dir, L"keep-me.txt"));
        write_file(app_data_folder() + L"\\settings.json");

        ASSERT_EQ(run_removal(dir, true), Done);

        EXPECT_FALSE(exists(join_path(dir, L"plannix-test.exe")));
        EXPECT_FALSE(exists(join_path(dir, L"PlannixTest\\sub")));
        EXPECT_FALSE(exists(join_path(dir, kRecordFileName)));
        EXPECT_TRUE(exists(join_path(dir, L"PlannixTest\\keep.txt")));
        EXPECT_TRUE(exists(join_path(dir, L"keep-me.txt")));
        EXPECT_TRUE(exists(known(FOLDERID_Documents)));
        EXPECT_TRUE(exists(temp_folder()));
        // The application data goes even when the install folder cannot go whole, as the page says.
        EXPECT_FALSE(exists(app_data_folder()));
        expect_shortcuts_and_entry_gone();
        const std::vector<std::string> lines = log_lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2].rfind(
                      "Папка " + utf8_from_wide(dir) + " не удалена целиком: ", 0),
                  0u)
            << lines[lines.size() - 2];
        EXPECT_EQ(lines.back(), "удалено из " + utf8_from_wide(dir));
        std::error_code ignored;
        fs::remove_all(join_path(dir, L"PlannixTest"), ignored);
        fs::remove(join_path(dir, L"keep-me.txt"), ignored);
    }
}

TEST_F(Removal, TheRunningApplicationStopsItBeforeAnythingIsDeletedAndRetryCompletes) {
    const std::wstring dir = L"C:\\Apps\\Plannix";
    lay_out_installation(dir, {"plannix.exe", "fonts/ui.ttf"});
    {
        // The application holds its executable without sharing.
        FileHandle held(CreateFileW((dir + L"\\plannix.exe").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(static_cast<bool>(held));
        ASSERT_EQ(run_removal(dir, true), Failed);
        EXPECT_EQ(get_error(), kRunningMessage);
        EXPECT_EQ(last_log_line(), "ОШИБКА: " + utf8_from_wide(kRunningMessage));
        for (const wchar_t* kept : {L"fonts\\ui.ttf", L"install.json", L"setup.exe"})
            EXPECT_TRUE(exists(join_path(dir, kept))) << utf8_from_wide(kept);
        EXPECT_TRUE(exists(join_path(known(FOLDERID_Desktop), g_shortcutName)));
        EXPECT_TRUE(entry_exists());
    }
    // "Повторить" once the application has closed.
    ASSERT_EQ(run_removal(dir, true), Done);
    EXPECT_FALSE(exists(dir));
    expect_shortcuts_and_entry_gone();
}

// Makes SHGetKnownFolderPath fail for the folders named by `values` (an empty value in "User
// Shell Folders"), and restores them when it ends.
class UnobtainableKnownFolders {
  public:
    explicit UnobtainableKnownFolders(std::vector<std::wstring> values) : values_(values) {
        for (const std::wstring& value : values_) {
            wchar_t buffer[520] = {};
            DWORD size = sizeof(buffer);
            RegGetValueW(HKEY_CURRENT_USER, kKey, value.c_str(),
                         RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buffer, &size);
            saved_.push_back(buffer);
            set(value, L"");
        }
    }
    ~UnobtainableKnownFolders() {
        for (size_t i = 0; i < values_.size(); ++i)
            set(values_[i], saved_[i]);
    }

  private:
    static constexpr const wchar_t* kKey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    static void set(const std::wstring& value, const std::wstring& data) {
        RegSetKeyValueW(HKEY_CURRENT_USER, kKey, value.c_str(), REG_EXPAND_SZ, data.c_str(),
                        static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    }
    std::vector<std::wstring> values_;
    std::vector<std::wstring> saved_;
};

// A known folder that cannot be obtained (or an empty install folder) is skipped: bare names are
// never taken in the current folder, so no shortcut, application data or file there goes.
TEST_F(Removal, AKnownFolderThatCannotBeObtainedIsSkippedNotTakenAsTheCurrentFolder) {
    const std::wstring dir = L"C:\\Apps\\Plannix";
    const std::wstring desktopShortcut = join_path(known(FOLDERID_Desktop), g_shortcutName);
    lay_out_installation(dir, {"plannix.exe"});
    const std::wstring cwd = L"C:\\Apps\\Plannix-cwd";
    write_file(join_path(cwd, g_shortcutName));
    write_file(cwd + L"\\Kvartalis\\Plannix\\settings.json");
    write_file(join_path(cwd, kRecordFileName), "{\"files\": {\"plannix.exe\": \"\"}}");
    write_file(join_path(cwd, kSetupExeName));
    write_file(join_path(cwd, kAppExeName));
    ASSERT_TRUE(SetCurrentDirectoryW(cwd.c_str()));
    {
        UnobtainableKnownFolders broken({L"Desktop", L"Programs", L"Local AppData"});
        ASSERT_TRUE(known_folder(FOLDERID_Desktop).empty());
        ASSERT_EQ(run_removal(dir, true), Done);
        // An empty install folder names no folder: nothing of the current one goes either.
        ASSERT_EQ(run_removal(L"", false), Done);
    }
    for (const wchar_t* kept : {kRecordFileName, kSetupExeName, kAppExeName})
        EXPECT_TRUE(exists(join_path(cwd, kept))) << utf8_from_wide(kept);
    SetCurrentDirectoryW(L"C:\\");
    EXPECT_FALSE(exists(dir));
    EXPECT_FALSE(entry_exists());
    EXPECT_TRUE(exists(desktopShortcut)); // its folder could not be named
    EXPECT_TRUE(exists(join_path(cwd, g_shortcutName)));
    EXPECT_TRUE(exists(cwd + L"\\Kvartalis\\Plannix\\settings.json"));
    fs::remove_all(cwd);
    fs::remove(desktopShortcut);
}

TEST_F(Removal, AMissingOrDamagedRecordStillRemovesTheRestAndASecondRunFindsNothing) {
    const std::wstring dir = L"C:\\Apps\\Plannix";
    const char* records[] = {
        nullptr,  "{\"files\": {\"plannix.exe\": ", "null",
        "[1, 2]", "{\"files\": [\"plannix.exe\"]}", "{\"files\": \"plannix.exe\"}",
        "{}"};
    for (const char* record : records) {
        SCOPED_TRACE(record ? record : "(no install.json)");
        lay_out_installation(dir, {"plannix.exe"});
        if (record) {
            write_file(join_path(dir, kRecordFileName), record);
        } else {
            fs::remove(join_path(dir, kRecordFileName));
        }
        fs::create_directories(dir + L"\\fonts");

        ASSERT_EQ(run_removal(dir, false), Done);
        EXPECT_TRUE(exists(dir + L"\\plannix.exe")); // named by no usable record
        for (const wchar_t* gone : {L"fonts", L"install.json", L"setup.exe"})
            EXPECT_FALSE(exists(join_path(dir, gone))) << utf8_from_wide(gone);
        expect_shortcuts_and_entry_gone();

        ASSERT_EQ(run_removal(dir, false), Done);
        EXPECT_EQ(last_log_line(), "удалено из C:\\Apps\\Plannix");
        fs::remove_all(dir);
    }
}

// The keys of another program's install.json are never deleted as recorded files.
TEST_F(Removal, AForeignRecordsKeysAreNeverDeleted) {
    const std::wstring dir = L"C:\\Apps\\Plannix";
    lay_out_installation(dir, {"plannix.exe"});
    write_file(join_path(dir, kRecordFileName), "{\"files\": {\"report.docx\": \"ab\"}}");
    write_file(dir + L"\\report.docx", "report");
    ASSERT_EQ(run_removal(dir, false), Done);
    EXPECT_TRUE(exists(dir + L"\\report.docx"));
    EXPECT_TRUE(exists(dir + L"\\plannix.exe")); // named by no record of ours
    expect_shortcuts_and_entry_gone();
}

// A staged "<file>.new" or "install.json.tmp" left by a killed run goes with the install folder,
// never keeping it from being removed.
TEST_F(Removal, LeftoversOfAKilledRunGoWithTheFolder) {
    const std::wstring dir = L"C:\\Apps\\Plannix";
    lay_out_installation(dir, {"plannix.exe", "licenses/amd-fsr.txt"});
    for (const wchar_t* leftover :
         {L"plannix.exe.new", L"licenses\\amd-fsr.txt.new", L"install.json.tmp"})
        write_file(join_path(dir, leftover), "half");
    ASSERT_EQ(run_removal(dir, false), Done);
    EXPECT_FALSE(exists(dir));
}

// With the data option, a file that cannot be deleted keeps the install folder, which the log
// names, and the application data still goes.
TEST_F(Removal, WithTheOptionAFolderThatCannotGoWholeIsLoggedAndTheDataStillGoes) {
    const std::wstring dir = L"C:\\Apps\\Plannix";
    lay_out_installation(dir, {"plannix.exe"});
    write_file(dir + L"\\projects\\open.plx");
    write_file(app_data_folder() + L"\\login.json");
    {
        FileHandle held(CreateFileW((dir + L"\\projects\\open.plx").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
        ASSERT_TRUE(static_cast<bool>(held));
        ASSERT_EQ(run_removal(dir, true), Done);
    }
    EXPECT_TRUE(exists(dir + L"\\projects\\open.plx"));
    EXPECT_FALSE(exists(dir + L"\\plannix.exe"));
    EXPECT_FALSE(exists(app_data_folder()));
    const std::vector<std::string> lines = log_lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Папка C:\\Apps\\Plannix не удалена целиком: в ней остались "
                                       "файлы, которые не удалось удалить.");
    expect_shortcuts_and_entry_gone();
}

// "install.json" and "setup.exe" go after the shortcuts and every other file, just before the
// uninstall entry, so a removal killed in between never leaves an entry naming a missing program.
// Watched from another thread: when the record disappears, every other file of ours must already be
// gone.
TEST_F(Removal, TheRecordAndSetupGoLastBeforeTheUninstallEntry) {
    const std::wstring dir = L"C:\\Apps\\Plannix";
    const std::vector<std::string> files = {"plannix.exe", "setup.exe", "data/a.bin", "data/b.bin",
                                            "fonts/ui.ttf"};
    for (const bool removeUserData : {false, true}) {
        SCOPED_TRACE(removeUserData ? "with the data option" : "without the data option");
        lay_out_installation(dir, files);
        write_file(app_data_folder() + L"\\settings.json");
        std::atomic<bool> watching{true};
        std::vector<std::wstring> leftWhenRecordWent;
        std::thread watcher([&] {
            const std::wstring record = join_path(dir, kRecordFileName);
            while (watching.load() && exists(record)) {
            }
            for (const std::string& file : files)
                if (file != "setup.exe" && exists(join_path(dir, wide_from_utf8(file))))
                    leftWhenRecordWent.push_back(wide_from_utf8(file));
            for (REFKNOWNFOLDERID id : {FOLDERID_Programs, FOLDERID_Desktop})
                if (exists(join_path(known(id), g_shortcutName)))
                    leftWhenRecordWent.push_back(g_shortcutName);
            if (removeUserData && exists(app_data_folder()))
                leftWhenRecordWent.push_back(app_data_folder());
        });
        const WorkerState state = run_removal(dir, removeUserData);
        watching = false;
        watcher.join();
        ASSERT_EQ(state, Done);
        for (const std::wstring& left : leftWhenRecordWent)
            ADD_FAILURE() << utf8_from_wide(left) << " was still there when the record went";
        EXPECT_FALSE(exists(dir));
        expect_shortcuts_and_entry_gone();
    }
}

} // namespace
