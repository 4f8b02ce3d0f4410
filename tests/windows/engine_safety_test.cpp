// What an install or an update must never destroy, each case the real install_worker against
// releases made by plannix-release (make_safety_fixture.py) and served over HTTPS, in the real
// file system of a throw-away prefix whose install folders may hold Unix links
// (engine_safety_prefix.sh). Each test names the fault it guards against.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include <windows.h>
#include <tlhelp32.h>

#include <nlohmann/json.hpp>

#include "base/held_files.h"
#include "base/whole_file.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/state.h"
#include "base/text.h"
#include "base/main_window.h"
#include "app/worker.h"
#include "catalogue/file_names.h"
#include "catalogue/install_record.h"
#include "catalogue/manifest.h"
#include "windows/engine_fixture.h"

namespace fs = std::filesystem;

namespace {

bool is_folder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

const bool kCore[kComponentCount] = {true, false, false, false, false};

// One run of `release` as the worker thread would make it, on this thread.
WorkerState install(const std::string& name, const std::wstring& dir, RunMode mode = Update) {
    serve(name);
    prepare_run(mode, dir, kCore, false);
    return run_prepared();
}

std::wstring fresh_folder(const std::wstring& name) {
    return ::fresh_folder(L"C:\\safety\\" + name, L"Plannix");
}

nlohmann::json record_files(const std::wstring& dir) {
    return parse_install_record_text(read(dir + L"\\install.json"))["files"];
}

std::set<std::string> keys_of(const nlohmann::json& object) {
    std::set<std::string> keys;
    for (const auto& item : object.items())
        keys.insert(item.key());
    return keys;
}

// The agreement that the one rule for file names rests on: every pair of characters of the
// scripts that Setup's names use is equal under ordinal_upper exactly when Windows' ordinal
// comparison without case finds it equal.
TEST(FileNames, OrdinalUpperAgreesWithCompareStringOrdinalOverTheCommonScripts) {
    std::wstring chars;
    for (wchar_t c = 1; c < 0x180; ++c) // ASCII, Latin-1, Latin Extended-A
        chars += c;
    for (wchar_t c = 0x370; c < 0x500; ++c) // Greek, Cyrillic
        chars += c;
    int mismatches = 0;
    for (const wchar_t a : chars) {
        for (const wchar_t b : chars) {
            const bool windows = CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
            const bool ours = ordinal_upper(a) == ordinal_upper(b);
            if (windows != ours && ++mismatches <= 20)
                ADD_FAILURE() << std::hex << "U+" << int(a) << " and U+" << int(b)
                              << (windows ? ": equal to Windows" : ": different to Windows");
        }
    }
    EXPECT_EQ(mismatches, 0);
    // Whole paths as the engine compares them.
    EXPECT_EQ(file_name_key("Шрифты/Меню.TXT"), file_name_key("шрифты\\меню.txt"));
    EXPECT_EQ(CompareStringOrdinal(L"ШРИФТЫ", -1, L"шрифты", -1, TRUE), CSTR_EQUAL);
}

// A release that renames "Fonts/UI.ttf" and "Data/Info.txt" by letter case only keeps the files: an
// old key's file that is a new file under another spelling is never deleted. The same holds for
// record keys spelled with "\", doubled separators or "." parts.
TEST(EngineSafety, ARenameByLetterCaseOrSeparatorsKeepsTheFile) {
    for (const bool respelled : {false, true}) {
        SCOPED_TRACE(respelled ? "record keys respelled" : "record as written");
        const std::wstring dir = fresh_folder(L"rename");
        ASSERT_EQ(install("case1", dir, Install), Done) << utf8_from_wide(get_error());
        if (respelled) {
            std::string text = read(dir + L"\\install.json");
            for (const auto& [from, to] :
                 {std::pair<std::string, std::string>{"\"Fonts/UI.ttf\"", "\"./Fonts\\\\UI.ttf\""},
                  {"\"Data/Info.txt\"", "\"Data//Info.txt\""}}) {
                ASSERT_NE(text.find(from), std::string::npos);
                text.replace(text.find(from), from.size(), to);
            }
            write(dir + L"\\install.json", text);
        }

        ASSERT_EQ(install("case2", dir), Done) << utf8_from_wide(get_error());
        EXPECT_EQ(read(dir + L"\\fonts\\ui.ttf"), source("case2", "fonts/ui.ttf"));
        EXPECT_EQ(read(dir + L"\\data\\info.txt"), source("case2", "data/info.txt"));
        EXPECT_EQ(
            keys_of(record_files(dir)),
            (std::set<std::string>{"data/info.txt", "fonts/ui.ttf", "plannix.exe", "setup.exe"}));
        // And the run after finds everything in place.
        ASSERT_EQ(install("case2", dir), Done) << utf8_from_wide(get_error());
        EXPECT_EQ(read(dir + L"\\data\\info.txt"), source("case2", "data/info.txt"));
    }
}

// Deleting the cache folder never goes through an "update-cache" link: the user's folder it leads
// to keeps its files.
TEST(EngineSafety, ACacheFolderThatIsALinkNeverLosesWhatItLeadsTo) {
    const std::wstring dir = L"C:\\safety\\cache-link\\Plannix";
    ASSERT_TRUE(GetFileAttributesW((dir + L"\\update-cache").c_str()) &
                FILE_ATTRIBUTE_REPARSE_POINT);
    ASSERT_EQ(install("case1", dir, Install), Done) << utf8_from_wide(get_error());
    EXPECT_EQ(read(L"C:\\safety\\user-cache\\keep.txt"), "keep\n");
}

// An update never writes a release file through a "fonts" link inside the install folder into the
// folder it leads to, where nothing would ever remove it.
TEST(EngineSafety, WritingThroughALinkInsideTheInstallFolderIsRefused) {
    const std::wstring dir = L"C:\\safety\\fonts-link\\Plannix";
    ASSERT_TRUE(GetFileAttributesW((dir + L"\\fonts").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(install("case2", dir, Install), Failed);
    EXPECT_EQ(get_error(), L"Не записать " + dir + L"\\fonts/ui.ttf");
    std::set<std::wstring> target;
    for (const auto& entry : fs::directory_iterator(L"C:\\safety\\user-fonts"))
        target.insert(entry.path().filename().wstring());
    EXPECT_EQ(target, std::set<std::wstring>{L"keep.txt"});
}

// Another program's install.json never makes its keys files to delete: an install into that folder
// keeps the user's report and photo.
TEST(EngineSafety, AForeignRecordsKeysAreNeverDeleted) {
    const std::wstring dir = fresh_folder(L"foreign");
    write(dir + L"\\install.json", "{\"files\": {\"report.docx\": \"" + std::string(64, 'a') +
                                       "\", \"photos/trip.jpg\": \"" + std::string(64, 'b') +
                                       "\"}}");
    write(dir + L"\\report.docx", "report");
    write(dir + L"\\photos\\trip.jpg", "trip");
    ASSERT_EQ(install("case1", dir, Install), Done) << utf8_from_wide(get_error());
    EXPECT_EQ(read(dir + L"\\report.docx"), "report");
    EXPECT_EQ(read(dir + L"\\photos\\trip.jpg"), "trip");
}

// A path that is a file in one release and a folder in the next (or the reverse) updates in one
// run: the old entry is set aside before the new files are placed. A folder of the user's in the
// way still fails, naming the path.
TEST(EngineSafety, AFileThatBecomesAFolderAndTheReverseUpdateInOneRun) {
    const std::wstring dir = fresh_folder(L"shape");
    ASSERT_EQ(install("shape1", dir, Install), Done) << utf8_from_wide(get_error());
    ASSERT_EQ(install("shape2", dir), Done) << utf8_from_wide(get_error());
    EXPECT_EQ(read(dir + L"\\data\\x.bin"), source("shape2", "data/x.bin"));
    EXPECT_EQ(read(dir + L"\\docs\\x"), source("shape2", "docs/x"));
    ASSERT_EQ(install("shape1", dir), Done) << utf8_from_wide(get_error());
    EXPECT_EQ(read(dir + L"\\data"), source("shape1", "data"));
    EXPECT_EQ(read(dir + L"\\docs\\x\\y.txt"), source("shape1", "docs/x/y.txt"));

    // A failure after the staging (the new file's blob missing) or at the swap (a folder of
    // the user's in the way) leaves the old shape whole: the file where the new folder would go,
    // the folder where the new file would go.
    const Manifest shape2 = release("shape2");
    for (const ManifestFile& file : shape2.files) {
        if (file.path != "data/x.bin") continue;
        const std::wstring missing = served_blob(file);
        ASSERT_TRUE(MoveFileExW(missing.c_str(), (missing + L".away").c_str(), 0));
        EXPECT_EQ(install("shape2", dir), Failed);
        EXPECT_EQ(get_error(), L"Не скачан data/x.bin — проверьте интернет и повторите.");
        ASSERT_TRUE(MoveFileExW((missing + L".away").c_str(), missing.c_str(), 0));
    }
    EXPECT_EQ(read(dir + L"\\data"), source("shape1", "data"));
    EXPECT_EQ(read(dir + L"\\docs\\x\\y.txt"), source("shape1", "docs/x/y.txt"));

    write(dir + L"\\docs\\x\\mine.txt", "mine");
    EXPECT_EQ(install("shape2", dir), Failed);
    EXPECT_EQ(get_error(), L"Не записать " + dir + L"\\docs/x");
    EXPECT_EQ(read(dir + L"\\docs\\x\\mine.txt"), "mine");
    EXPECT_EQ(read(dir + L"\\data"), source("shape1", "data"));
    EXPECT_EQ(read(dir + L"\\docs\\x\\y.txt"), source("shape1", "docs/x/y.txt"));
    EXPECT_FALSE(exists(dir + L"\\plannix-swap"));
}

// An obsolete file is set aside with the rest of the swap: one held by another program fails
// the update whole (the record and every file as they were); a read-only one goes.
TEST(EngineSafety, AnObsoleteFileHeldOpenFailsTheUpdateWholeAndAReadOnlyOneGoes) {
    const std::wstring dir = fresh_folder(L"keep");
    ASSERT_EQ(install("keep1", dir, Install), Done) << utf8_from_wide(get_error());
    const std::string record = read(dir + L"\\install.json");
    const std::wstring held = dir + L"\\old\\held.dll";
    const std::wstring readOnly = dir + L"\\old\\ro.dll";
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    g_heldRetryLimitMs = 500;
    {
        FileHandle holder(CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(static_cast<bool>(holder));
        EXPECT_EQ(install("keep2", dir), Failed);
    }
    g_heldRetryLimitMs = kHeldRetryLimitMs;
    EXPECT_EQ(get_error(), L"Файл занят: " + dir + L"\\old/held.dll — закройте планикс.");
    EXPECT_EQ(read(held), source("keep1", "old/held.dll"));
    EXPECT_EQ(read(readOnly), source("keep1", "old/ro.dll"));
    EXPECT_FALSE(exists(dir + L"\\docs"));
    EXPECT_EQ(read(dir + L"\\install.json"), record);

    // Once nothing holds it, the next run deletes both and drops their keys.
    ASSERT_EQ(install("keep2", dir), Done) << utf8_from_wide(get_error());
    EXPECT_FALSE(exists(dir + L"\\old"));
    EXPECT_EQ(read(dir + L"\\install.json"), serialise_install_record(release("keep2"), kCore));
}

// A "<file>.new" or "install.json.tmp" left by a killed run goes with the next run, so it never
// keeps the install folder from being removed.
TEST(EngineSafety, LeftoversOfAKilledRunGoWithTheNextRun) {
    const std::wstring dir = fresh_folder(L"leftovers");
    ASSERT_EQ(install("case1", dir, Install), Done) << utf8_from_wide(get_error());
    // Staged copies of an up-to-date file, of a file this release drops and of the record.
    for (const wchar_t* leftover : {L"plannix.exe.new", L"Fonts\\UI.ttf.new", L"install.json.tmp"})
        write(dir + L"\\" + leftover, "half written");
    // A folder of that name is not a staged copy.
    fs::create_directories(dir + L"\\setup.exe.new\\inside");
    ASSERT_EQ(install("case2", dir), Done) << utf8_from_wide(get_error());
    for (const wchar_t* gone : {L"plannix.exe.new", L"fonts\\ui.ttf.new", L"install.json.tmp"})
        EXPECT_FALSE(exists(dir + L"\\" + gone)) << utf8_from_wide(gone);
    EXPECT_TRUE(is_folder(dir + L"\\setup.exe.new\\inside"));
}

// The test's own child processes that run `exe` (the name Windows reports for them).
std::set<DWORD> children_running(const wchar_t* exe) {
    std::set<DWORD> ids;
    KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry))
        if (entry.th32ParentProcessID == GetCurrentProcessId() &&
            CompareStringOrdinal(entry.szExeFile, -1, exe, -1, TRUE) == CSTR_EQUAL)
            ids.insert(entry.th32ProcessID);
    return ids;
}

void end_children(const wchar_t* exe) {
    for (const DWORD id : children_running(exe)) {
        KernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (process) {
            TerminateProcess(process.get(), 0);
            WaitForSingleObject(process.get(), 10000);
        }
    }
}

// After an update the application is running before the run is Done, so the window never offers
// "Запустить" (a second copy) or "Закрыть" (no restart at all) meanwhile.
TEST(EngineSafety, AfterAnUpdateTheApplicationIsRunningBeforeTheRunIsDone) {
    const std::wstring dir = fresh_folder(L"restart");
    ASSERT_EQ(install("case1", dir, Install), Done) << utf8_from_wide(get_error());
    ASSERT_TRUE(children_running(L"plannix.exe").empty());

    serve("restart");
    prepare_run(Update, dir, kCore, false, false);
    g_mainWindow = nullptr;
    const uint64_t run = begin_worker_run();
    std::thread worker([run] { worker_main(run); });
    // Looks the moment the window could: as soon as the state leaves Running.
    const ULONGLONG deadline = GetTickCount64() + 120000;
    while (g_workerState.load() == Running && GetTickCount64() < deadline) {
    }
    const WorkerState state = g_workerState.load();
    const std::set<DWORD> started = children_running(L"plannix.exe");
    worker.join();

    EXPECT_EQ(state, Done) << utf8_from_wide(get_error());
    EXPECT_EQ(started.size(), 1u) << "the application was not running when the run was Done";
    // The application is a stand-in that waits on a message box: it is ended here.
    end_children(L"plannix.exe");
}

// Only a restart that worked closes the window after an update; otherwise the Done page stays,
// offering "Запустить".
TEST(EngineSafety, AfterAnUpdateTheWindowClosesOnlyWhenTheApplicationStarted) {
    struct Case {
        const char* release;
        bool starts; // its plannix.exe is a program (else text, which cannot be started)
    };
    for (const Case& c : {Case{"case2", false}, Case{"restart", true}}) {
        SCOPED_TRACE(c.release);
        const std::wstring dir = fresh_folder(L"close");
        ASSERT_EQ(install("case1", dir, Install), Done) << utf8_from_wide(get_error());
        // A window of this thread, whose queue the run posts to.
        const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                            nullptr, nullptr, nullptr);
        ASSERT_TRUE(window);
        g_mainWindow = window;
        serve(c.release);
        prepare_run(Update, dir, kCore, false, false);
        worker_main(begin_worker_run());
        g_mainWindow = nullptr;
        MSG message = {};
        const bool closed = PeekMessageW(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE);
        DestroyWindow(window);
        EXPECT_EQ(g_workerState.load(), Done) << utf8_from_wide(get_error());
        EXPECT_EQ(closed, c.starts);
        end_children(L"plannix.exe");
    }
}

} // namespace
