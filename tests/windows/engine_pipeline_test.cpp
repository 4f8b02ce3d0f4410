// install_worker end to end: releases made by plannix-release (make_engine_fixture.py) served by
// the HTTPS test server, whose request log says which blobs a run fetched; the real file system,
// registry and shell links of the throw-away prefix. The record must be exactly what the
// serialiser makes of the release and selection (its layout is tested natively).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "app/command_line.h"
#include "base/held_files.h"
#include "base/whole_file.h"
#include "base/handles.h"
#include "base/known_folders.h"
#include "base/messages.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/state.h"
#include "base/text.h"
#include "app/worker.h"
#include "catalogue/components.h"
#include "catalogue/install_record.h"
#include "catalogue/manifest.h"
#include "engine/resume_cache.h"
#include "base/setup_log.h"
#include "engine/shortcut.h"
#include "windows/engine_fixture.h"

namespace fs = std::filesystem;

namespace {

using Snapshot = std::map<std::wstring, std::string>; // relative path -> bytes ("/" for folders)

const ManifestFile& entry(const Manifest& manifest, const std::string& path) {
    for (const ManifestFile& file : manifest.files)
        if (file.path == path) return file;
    ADD_FAILURE() << "no " << path;
    return manifest.files.front();
}

std::multiset<std::string> blob_requests_since(size_t mark) {
    return requests_since(mark, "blobs");
}

std::multiset<std::string> hashes_of(const Manifest& manifest, const std::set<std::string>& paths) {
    std::multiset<std::string> hashes;
    for (const std::string& path : paths)
        hashes.insert(entry(manifest, path).sha256);
    return hashes;
}

Snapshot snapshot(const std::wstring& dir) {
    Snapshot files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        const std::wstring relative = it->path().lexically_relative(dir).generic_wstring();
        files[relative] = it->is_directory() ? "/" : read(it->path().wstring());
    }
    return files;
}

// What the folder holds after installing `release` with this selection: its files, the
// folders above them and the record.
Snapshot expected_folder(const std::string& release, const bool selected[kComponentCount]) {
    Snapshot files;
    for (const ManifestFile& file : ::release(release).files) {
        if (!selected[classify_file(file.path)]) continue;
        const std::wstring path = wide_from_utf8(file.path);
        files[path] = source(release, file.path);
        for (size_t slash = path.find(L'/'); slash != std::wstring::npos;
             slash = path.find(L'/', slash + 1))
            files[path.substr(0, slash)] = "/";
    }
    files[kRecordFileName] = ""; // its bytes are compared on their own
    return files;
}

void expect_folder(const std::wstring& dir, Snapshot expected) {
    Snapshot actual = snapshot(dir);
    actual[kRecordFileName].clear();
    expected[kRecordFileName].clear();
    for (const auto& [path, bytes] : expected) {
        const auto it = actual.find(path);
        if (it == actual.end()) {
            ADD_FAILURE() << "missing " << utf8_from_wide(path);
        } else {
            EXPECT_TRUE(it->second == bytes) << "content of " << utf8_from_wide(path);
        }
    }
    for (const auto& [path, bytes] : actual)
        EXPECT_TRUE(expected.count(path)) << "left behind " << utf8_from_wide(path);
}

const bool kCoreNvidiaAmd[kComponentCount] = {true, true, true, false, false};

// One run as the worker thread would make it, on this thread.
// In auto mode: no restart of a stand-in executable after an update.
WorkerState run(RunMode mode, const std::wstring& dir,
                const bool selected[kComponentCount] = kCoreNvidiaAmd) {
    prepare_run(mode, dir, selected, true);
    return run_prepared();
}

std::wstring fresh_folder(const std::wstring& name) {
    return ::fresh_folder(L"C:\\engine\\" + name, L"Планикс Кварталис");
}

uint64_t sum_csize(const Manifest& manifest, const std::set<std::string>& paths) {
    uint64_t total = 0;
    for (const std::string& path : paths)
        total += entry(manifest, path).csize;
    return total;
}

std::set<std::string> selected_paths(const Manifest& manifest, const bool selected[]) {
    std::set<std::string> paths;
    for (const ManifestFile& file : manifest.files)
        if (selected[classify_file(file.path)]) paths.insert(file.path);
    return paths;
}

std::string success_line(const std::string& version, const std::wstring& dir, size_t files,
                         uint64_t bytes) {
    return "установлено " + version + " в " + utf8_from_wide(dir) + ": скачано файлов " +
           std::to_string(files) + ", " + std::to_string(bytes / 1024) + " КБ";
}

class Engine : public ::testing::Test {
  protected:
    void SetUp() override {
        set_faults("");
        serve("v1");
        // A file held for the whole run fails it after a second, not after the real 15.
        g_heldRetryLimitMs = 1000;
    }
    void TearDown() override { g_heldRetryLimitMs = kHeldRetryLimitMs; }
};

struct Shortcut {
    std::wstring target, folder, icon, description;
    int iconIndex = -1;
};

Shortcut read_shortcut(const std::wstring& path) {
    Shortcut s;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        ComPtr<IShellLinkW> link;
        ComPtr<IPersistFile> file;
        wchar_t text[MAX_PATH] = {};
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IShellLinkW, link.put_void())) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.put_void())) &&
            SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
            if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) s.target = text;
            if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) s.folder = text;
            if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH, &s.iconIndex))) s.icon = text;
            if (SUCCEEDED(link->GetDescription(text, MAX_PATH))) s.description = text;
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return s;
}

void expect_shortcut(const std::wstring& path, const std::wstring& dir) {
    const Shortcut s = read_shortcut(path);
    EXPECT_EQ(s.target, dir + L"\\plannix.exe") << utf8_from_wide(path);
    EXPECT_EQ(s.folder, dir) << utf8_from_wide(path);
    EXPECT_EQ(s.icon, dir + L"\\plannix.exe") << utf8_from_wide(path);
    EXPECT_EQ(s.iconIndex, 0) << utf8_from_wide(path);
    EXPECT_EQ(s.description, L"3D-планикс магазина — Кварталис") << utf8_from_wide(path);
}

std::wstring shortcut_in(REFKNOWNFOLDERID folder) {
    const std::wstring path = known_folder(folder);
    EXPECT_FALSE(path.empty());
    return join_path(path, L"Планикс — Кварталис.lnk");
}

// The eleven values, each with its type and exact bytes. (Wine enumerates values sorted by
// name, so the order of writing cannot be read back.)
void expect_uninstall_entry(const std::wstring& dir, const std::string& version,
                            uint64_t sizeBytes) {
    struct Value {
        const wchar_t* name;
        DWORD type;
        std::wstring text;
        DWORD number;
    };
    const std::wstring setup = dir + L"\\setup.exe";
    const Value values[] = {
        {L"DisplayName", REG_SZ, L"Планикс — Кварталис", 0},
        {L"DisplayVersion", REG_SZ, wide_from_utf8(version), 0},
        {L"Publisher", REG_SZ, L"Кварталис", 0},
        {L"URLInfoAbout", REG_SZ, L"https://plannix.kvartalis.ru/", 0},
        {L"InstallLocation", REG_SZ, dir, 0},
        {L"DisplayIcon", REG_SZ, dir + L"\\plannix.exe", 0},
        {L"UninstallString", REG_SZ, L"\"" + setup + L"\" /uninstall", 0},
        {L"ModifyPath", REG_SZ, L"\"" + setup + L"\"", 0},
        {L"EstimatedSize", REG_DWORD, L"", static_cast<DWORD>(sizeBytes / 1024)},
        {L"NoModify", REG_DWORD, L"", 0},
        {L"NoRepair", REG_DWORD, L"", 1},
    };
    RegKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, key.put()),
              ERROR_SUCCESS);
    for (const Value& v : values) {
        DWORD type = 0;
        BYTE data[1024] = {};
        DWORD size = sizeof data;
        ASSERT_EQ(RegQueryValueExW(key.get(), v.name, nullptr, &type, data, &size), ERROR_SUCCESS)
            << utf8_from_wide(v.name);
        EXPECT_EQ(type, v.type) << utf8_from_wide(v.name);
        if (v.type == REG_SZ) {
            // With its NUL.
            EXPECT_EQ(size, (v.text.size() + 1) * sizeof(wchar_t)) << utf8_from_wide(v.name);
            EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(data)), v.text)
                << utf8_from_wide(v.name);
        } else {
            EXPECT_EQ(size, 4u) << utf8_from_wide(v.name);
            EXPECT_EQ(*reinterpret_cast<const DWORD*>(data), v.number) << utf8_from_wide(v.name);
        }
    }
}

std::string display_version() {
    wchar_t text[64] = {};
    DWORD size = sizeof text;
    RegGetValueW(HKEY_CURRENT_USER, kUninstallKey, L"DisplayVersion", RRF_RT_REG_SZ, nullptr, text,
                 &size);
    return utf8_from_wide(text);
}

uint64_t installed_size(const Manifest& manifest, const bool selected[]) {
    uint64_t total = 0;
    for (const ManifestFile& file : manifest.files)
        if (selected[classify_file(file.path)]) total += file.size;
    return total;
}

TEST_F(Engine, FirstInstallPutsTheSelectionInPlaceAndLaterRunsFetchOnlyWhatIsMissing) {
    const std::wstring dir = fresh_folder(L"first");
    const Manifest v1 = release("v1");
    const std::set<std::string> selected = selected_paths(v1, kCoreNvidiaAmd);
    ASSERT_FALSE(selected.count("handmodels/left.onnx")); // vr is not chosen
    DeleteFileW(shortcut_in(FOLDERID_Desktop).c_str());

    size_t mark = log_mark();
    ASSERT_EQ(run(Install, dir), Done) << utf8_from_wide(get_error());
    EXPECT_EQ(blob_requests_since(mark), hashes_of(v1, selected));
    expect_folder(dir, expected_folder("v1", kCoreNvidiaAmd));
    EXPECT_EQ(read(dir + L"\\install.json"), serialise_install_record(v1, kCoreNvidiaAmd));
    const uint64_t total = sum_csize(v1, selected);
    EXPECT_EQ(g_bytesTotal.load(), total);
    EXPECT_EQ(g_bytesDone.load(), total);
    EXPECT_EQ(last_log_line(), success_line("1.0.0", dir, selected.size(), total));
    EXPECT_EQ(get_status(), L"Ярлыки…");
    EXPECT_EQ(get_installed_version(), "1.0.0");
    EXPECT_EQ(g_targetVersion, "1.0.0");
    for (int n = 0; n < kComponentCount; ++n)
        EXPECT_EQ(g_componentInstalled[n].load(), kCoreNvidiaAmd[n]) << n;
    expect_uninstall_entry(dir, "1.0.0", installed_size(v1, kCoreNvidiaAmd));
    expect_shortcut(shortcut_in(FOLDERID_Programs), dir);
    expect_shortcut(shortcut_in(FOLDERID_Desktop), dir);

    // Nothing changed: nothing fetched, and the run still finishes everything else.
    mark = log_mark();
    ASSERT_EQ(run(Install, dir), Done) << utf8_from_wide(get_error());
    EXPECT_TRUE(blob_requests_since(mark).empty());
    EXPECT_EQ(g_bytesTotal.load(), 0u);
    EXPECT_EQ(last_log_line(), success_line("1.0.0", dir, 0, 0));

    // A file deleted by hand is fetched again; one edited by hand at the same size is not.
    ASSERT_TRUE(DeleteFileW((dir + L"\\docs/readme.txt").c_str()));
    std::string scene = read(dir + L"\\data/scene.bin");
    scene[0] ^= 1;
    write(dir + L"\\data/scene.bin", scene);
    mark = log_mark();
    ASSERT_EQ(run(Install, dir), Done) << utf8_from_wide(get_error());
    EXPECT_EQ(blob_requests_since(mark), hashes_of(v1, {"docs/readme.txt"}));
    EXPECT_EQ(read(dir + L"\\docs/readme.txt"), source("v1", "docs/readme.txt"));
    EXPECT_EQ(read(dir + L"\\data/scene.bin"), scene);
    write(dir + L"\\data/scene.bin", source("v1", "data/scene.bin"));

    // Deselecting a component deletes its files and the folder they leave empty.
    const bool coreNvidia[kComponentCount] = {true, true, false, false, false};
    mark = log_mark();
    ASSERT_EQ(run(Install, dir, coreNvidia), Done) << utf8_from_wide(get_error());
    EXPECT_TRUE(blob_requests_since(mark).empty());
    expect_folder(dir, expected_folder("v1", coreNvidia));
    EXPECT_FALSE(exists(dir + L"\\licenses"));
    EXPECT_EQ(read(dir + L"\\install.json"), serialise_install_record(v1, coreNvidia));
    EXPECT_FALSE(g_componentInstalled[2].load());
    expect_uninstall_entry(dir, "1.0.0", installed_size(v1, coreNvidia));
}

TEST_F(Engine, UpdateFetchesOnlyChangedAndAddedFilesAndPrunesWhatWasRemoved) {
    const std::wstring dir = fresh_folder(L"update");
    const Manifest v1 = release("v1");
    const Manifest v2 = release("v2");

    // A valid cached blob is used without a request; one that does not match is not.
    const std::wstring cache = dir + L"\\update-cache\\";
    fs::create_directories(dir + L"\\update-cache");
    ASSERT_TRUE(exists(cache));
    const ManifestFile& exe = entry(v1, "plannix.exe");
    ASSERT_TRUE(CopyFileW(served_blob(exe).c_str(),
                          (cache + wide_from_utf8(exe.sha256) + L".lzms").c_str(), FALSE));
    write(cache + wide_from_utf8(entry(v1, "setup.exe").sha256) + L".lzms", "not a blob");
    size_t mark = log_mark();
    ASSERT_EQ(run(Install, dir), Done) << utf8_from_wide(get_error());
    std::set<std::string> fetched = selected_paths(v1, kCoreNvidiaAmd);
    fetched.erase("plannix.exe");
    EXPECT_EQ(blob_requests_since(mark), hashes_of(v1, fetched));
    EXPECT_EQ(g_bytesDone.load(), g_bytesTotal.load()); // the cached blob counts as received
    EXPECT_FALSE(exists(dir + L"\\update-cache"));

    // The user's own file keeps its folder; folders emptied by the update go.
    write(dir + L"\\old\\mine.txt", "mine");
    DeleteFileW(shortcut_in(FOLDERID_Desktop).c_str());
    serve("v2");
    mark = log_mark();
    ASSERT_EQ(run(Update, dir), Done) << utf8_from_wide(get_error());
    const std::set<std::string> changed = {"data/scene.bin", "docs/readme.txt", "extras/added.bin"};
    EXPECT_EQ(blob_requests_since(mark), hashes_of(v2, changed));
    EXPECT_EQ(g_bytesDone.load(), sum_csize(v2, changed));
    Snapshot expected = expected_folder("v2", kCoreNvidiaAmd);
    expected[L"old"] = "/";
    expected[L"old/mine.txt"] = "mine";
    expect_folder(dir, expected);
    EXPECT_EQ(read(dir + L"\\install.json"), serialise_install_record(v2, kCoreNvidiaAmd));
    EXPECT_EQ(last_log_line(), success_line("2.0.0", dir, 3, sum_csize(v2, changed)));
    expect_uninstall_entry(dir, "2.0.0", installed_size(v2, kCoreNvidiaAmd));
    // An update refreshes the Start-menu shortcut but never makes one on the desktop.
    expect_shortcut(shortcut_in(FOLDERID_Programs), dir);
    EXPECT_FALSE(exists(shortcut_in(FOLDERID_Desktop)));
}

// Holds a file open for the life of the object with the given sharing.
class HeldOpen {
  public:
    HeldOpen(const std::wstring& path, DWORD share)
        : file_(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
        EXPECT_TRUE(static_cast<bool>(file_)) << utf8_from_wide(path);
    }

  private:
    FileHandle file_;
};

// Serves other bytes under a blob's name for the life of the object.
class ServedBlobAs {
  public:
    ServedBlobAs(const ManifestFile& file, const std::function<std::string(std::string)>& change)
        : ServedBlobAs(served_blob(file), change) {}
    ServedBlobAs(const std::wstring& path, const std::function<std::string(std::string)>& change)
        : path_(path), original_(read(path_)) {
        write(path_, change(original_));
    }
    ~ServedBlobAs() { write(path_, original_); }

  private:
    std::wstring path_;
    std::string original_;
};

TEST_F(Engine, EveryFailureStopsWithItsMessageAndLeavesTheInstallationAsItWas) {
    const std::wstring dir = fresh_folder(L"failures");
    ASSERT_EQ(run(Install, dir), Done) << utf8_from_wide(get_error());
    // A cache folder stays after a failed run.
    write(dir + L"\\update-cache\\unrelated.lzms", "kept");
    const Manifest v2 = release("v2");
    const ManifestFile& scene = entry(v2, "data/scene.bin"); // the first file to fetch
    const std::wstring scenePath = dir + L"\\data/scene.bin";
    const std::string sceneBlob = "/plannix/app/blobs/" + scene.sha256 + ".lzms";
    const std::wstring blocker = L"C:\\engine\\failures\\blocker";
    write(blocker, "a file where a folder should be");

    struct Case {
        const char* what;
        const char* release;
        std::string faults;
        std::wstring message;
        std::function<std::shared_ptr<void>()> arrange; // undone when its result goes
        std::wstring installDir;
    };
    const auto none = [] { return std::shared_ptr<void>(); };
    std::wstring statusWhileFetching;
    const Case cases[] = {
        {"manifest unreachable", "v2", "/plannix/app/manifest.json status=404\n",
         L"Нет связи с сайтом Кварталис. Проверьте интернет и повторите.", none, dir},
        {"signature unreachable", "v2", "/plannix/app/manifest.sig status=500\n",
         L"Нет связи с сайтом Кварталис. Проверьте интернет и повторите.", none, dir},
        {"bad signature", "tampered", "",
         L"Файлы на сайте не прошли проверку подписи — установка остановлена.", none, dir},
        {"malformed manifest", "malformed", "",
         L"Файлы на сайте не прошли проверку подписи — установка остановлена.", none, dir},
        {"busy executable", "v2", "", L"Планикс открыт — закройте его и нажмите «Повторить».",
         [&] { return std::make_shared<HeldOpen>(dir + L"\\plannix.exe", FILE_SHARE_READ); }, dir},
        {"folder cannot be made", "v2", "", L"Не создать папку " + blocker + L"\\inst", none,
         blocker + L"\\inst"},
        {"blob missing", "v2", sceneBlob + " status=404\n",
         L"Не скачан data/scene.bin — проверьте интернет и повторите.", none, dir},
        {"blob transfer cut", "v2", sceneBlob + " drop=1000\n",
         L"Не скачан data/scene.bin — проверьте интернет и повторите.", none, dir},
        {"blob with a wrong hash", "v2", "",
         L"Файл data/scene.bin повреждён при загрузке — повторите.",
         [&] {
             return std::make_shared<ServedBlobAs>(scene, [](std::string b) {
                 b[b.size() / 2] ^= 1;
                 return b;
             });
         },
         dir},
        // The transfer stops past "csize": the body never grows without bound.
        {"blob longer than announced", "v2", "",
         L"Файл data/scene.bin повреждён при загрузке — повторите.",
         [&] {
             return std::make_shared<ServedBlobAs>(
                 scene, [](std::string b) { return b + std::string(300000, 'x'); });
         },
         dir},
        {"blob unpacking one byte short", "short", "",
         L"Файл data/scene.bin повреждён при загрузке — повторите.", none, dir},
        // No allocation failure escapes the worker.
        {"file larger than memory", "huge", "",
         L"Файл data/scene.bin повреждён при загрузке — повторите.", none, dir},
        {"staged file cannot be written", "v2", "", L"Не записать " + scenePath,
         [&] {
             fs::create_directory(scenePath + L".new");
             return std::shared_ptr<void>(
                 nullptr, [=](void*) { RemoveDirectoryW((scenePath + L".new").c_str()); });
         },
         dir},
        {"file held open at move time", "v2", "",
         L"Файл занят: " + scenePath + L" — закройте планикс.",
         [&] { return std::make_shared<HeldOpen>(scenePath, FILE_SHARE_READ); }, dir},
        {"cancel during a slow blob", "v2", sceneBlob + " slow=512/0.05\n", L"Установка отменена.",
         [&] {
             // Cancels once the first piece has been counted, as the window would.
             g_bytesDone = 0;
             auto canceller = std::make_shared<std::thread>([&] {
                 for (int i = 0; i < 20000 && g_bytesDone.load() == 0; ++i)
                     Sleep(1);
                 statusWhileFetching = get_status();
                 g_cancelRequested = true;
             });
             return std::shared_ptr<void>(nullptr, [=](void*) { canceller->join(); });
         },
         dir},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Each failure on its own: what an earlier case fetched would not be fetched again.
        delete_resume_cache();
        set_faults(c.faults);
        serve(c.release);
        std::shared_ptr<void> arranged = c.arrange();
        const Snapshot before = snapshot(dir);
        const size_t lines = log_lines().size();
        EXPECT_EQ(run(Update, c.installDir), Failed);
        const Snapshot after = snapshot(dir);
        // Looked at before the case's own arrangement (a folder of that name) is undone.
        const DWORD staged = GetFileAttributesW((scenePath + L".new").c_str());
        arranged.reset();
        EXPECT_EQ(get_error(), c.message);
        EXPECT_EQ(last_log_line(), "ОШИБКА: " + utf8_from_wide(c.message));
        EXPECT_EQ(log_lines().size(), lines + 1);
        EXPECT_TRUE(after == before);
        // The failed run leaves no staged copy of the file.
        EXPECT_TRUE(staged == INVALID_FILE_ATTRIBUTES || (staged & FILE_ATTRIBUTE_DIRECTORY))
            << "staged file left";
        EXPECT_EQ(display_version(), "1.0.0");
        if (std::string(c.what) == "blob longer than announced") {
            // Other transfers run beside it, each within its own size.
            EXPECT_LE(g_bytesDone.load(), g_bytesTotal.load() + 1)
                << "read past the announced size";
        }
    }
    // Transfers run side by side: the count is of finished files plus one, the path that of the
    // file started last, one of the three.
    const std::set<std::wstring> fetching = {L"Скачивание 1 из 3: data/scene.bin",
                                             L"Скачивание 1 из 3: docs/readme.txt",
                                             L"Скачивание 1 из 3: extras/added.bin"};
    EXPECT_TRUE(fetching.count(statusWhileFetching)) << utf8_from_wide(statusWhileFetching);

    // A record that cannot be written fails the run, after every move of the swap: each is
    // undone, the obsolete files and the folder made for the added file included.
    set_faults("");
    serve("v2");
    fs::create_directory(dir + L"\\install.json.tmp");
    const Snapshot beforeSwap = snapshot(dir);
    EXPECT_EQ(run(Update, dir), Failed);
    EXPECT_EQ(get_error(), L"Не записать " + dir + L"\\install.json");
    EXPECT_TRUE(snapshot(dir) == beforeSwap) << "the swap was not undone whole";
    EXPECT_EQ(display_version(), "1.0.0");
    RemoveDirectoryW((dir + L"\\install.json.tmp").c_str());

    // After all of them a plain retry completes.
    ASSERT_EQ(run(Update, dir), Done) << utf8_from_wide(get_error());
    Snapshot expected = expected_folder("v2", kCoreNvidiaAmd);
    expect_folder(dir, expected);
}

// Record keys never become paths to delete outside the folder, and record values are read only as
// hashes.
TEST_F(Engine, AHostileRecordNeverReachesOutsideTheInstallFolder) {
    const std::wstring dir = fresh_folder(L"hostile");
    ASSERT_EQ(run(Install, dir), Done) << utf8_from_wide(get_error());
    const std::wstring outside = L"C:\\engine\\hostile\\outside.txt";
    const std::wstring victim = L"C:\\engine\\victim.txt";
    write(outside, "outside");
    write(victim, "victim");
    std::string record = read(dir + L"\\install.json");
    const std::string hostile =
        "\"../outside.txt\": \"x\", \"..\\\\outside.txt\": \"x\", \"C:/engine/victim.txt\": "
        "\"x\", \"/engine/victim.txt\": \"x\", \"\\\\engine\\\\victim.txt\": \"x\", "
        "\"data/scene.bin\": 42, \"docs/readme.txt\": [\"x\"], ";
    const size_t files = record.find("\"files\": {") + 10;
    // The later duplicate keys of the record's own entries win in the parser.
    record.insert(record.find('}', files), ", " + hostile.substr(0, hostile.size() - 2));
    write(dir + L"\\install.json", record);

    const size_t mark = log_mark();
    ASSERT_EQ(run(Update, dir), Done) << utf8_from_wide(get_error());
    EXPECT_EQ(read(outside), "outside");
    EXPECT_EQ(read(victim), "victim");
    // Entries whose recorded hash is not even a string are fetched again.
    EXPECT_EQ(blob_requests_since(mark),
              hashes_of(release("v1"), {"data/scene.bin", "docs/readme.txt"}));
    EXPECT_EQ(read(dir + L"\\install.json"),
              serialise_install_record(release("v1"), kCoreNvidiaAmd));
}

// The working folder of a program at a drive's root keeps its separator: "Z:" alone means the
// drive's current folder.
TEST(Shortcut, StartsTheProgramInItsOwnFolderEvenAtADrivesRoot) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring link = temp_folder() + L"engine-shortcut-test.lnk";
    for (const wchar_t* target : {L"Z:\\plannix.exe", L"C:\\Apps\\Plannix\\plannix.exe"}) {
        DeleteFileW(link.c_str());
        create_shortcut(link, target);
        const Shortcut s = read_shortcut(link);
        EXPECT_EQ(s.target, target) << utf8_from_wide(target);
        EXPECT_EQ(s.folder, folder_of(target)) << utf8_from_wide(target);
    }
    EXPECT_EQ(folder_of(L"Z:\\plannix.exe"), L"Z:\\");
    DeleteFileW(link.c_str());
    if (SUCCEEDED(com)) CoUninitialize();
}

} // namespace

// An installation of v1 with the resume cache empty, to update from.
void install_v1(const std::wstring& dir) {
    delete_resume_cache();
    serve("v1");
    set_faults("");
    ASSERT_EQ(run(Install, dir), Done) << utf8_from_wide(get_error());
    serve("v2");
}

std::wstring resume_cached(const ManifestFile& file) {
    return resume_cache_folder() + L"\\" + wide_from_utf8(file.sha256) + L".lzms";
}

std::string blob_url(const ManifestFile& file) {
    return "/plannix/app/blobs/" + file.sha256 + ".lzms";
}

// A failure at any file k of n leaves the old version whole: never files 1 to k-1 new and the rest
// old, an application of two versions that may not start.
TEST_F(Engine, AFailedUpdateLeavesTheOldVersionWholeWhicheverFileFails) {
    const std::wstring dir = fresh_folder(L"whole");
    install_v1(dir);
    const Manifest v2 = release("v2");
    // The to-do list of v1 to v2, in manifest order: two changed files, then an added one.
    for (const char* path : {"data/scene.bin", "docs/readme.txt", "extras/added.bin"}) {
        const ManifestFile& file = entry(v2, path);
        const std::wstring name = wide_from_utf8(path);
        struct Case {
            std::string what;
            std::string faults;
            bool damaged; // served with one bit flipped
            std::wstring message;
        };
        const Case cases[] = {
            {"404", blob_url(file) + " status=404\n", false,
             L"Не скачан " + name + L" — проверьте интернет и повторите."},
            {"cut", blob_url(file) + " drop=10\n", false,
             L"Не скачан " + name + L" — проверьте интернет и повторите."},
            {"wrong hash", "", true, L"Файл " + name + L" повреждён при загрузке — повторите."},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(path) + ": " + c.what);
            delete_resume_cache();
            set_faults(c.faults);
            std::unique_ptr<ServedBlobAs> flipped;
            if (c.damaged)
                flipped = std::make_unique<ServedBlobAs>(file, [](std::string b) {
                    b[b.size() / 3] ^= 4;
                    return b;
                });
            const Snapshot before = snapshot(dir);
            EXPECT_EQ(run(Update, dir), Failed);
            EXPECT_EQ(get_error(), c.message);
            // Byte for byte: no file replaced, none added, no ".new", no new folder, same record.
            EXPECT_TRUE(snapshot(dir) == before);
            EXPECT_EQ(display_version(), "1.0.0");
        }
    }

    // A file held by another program is found before anything moves.
    delete_resume_cache();
    set_faults("");
    {
        const Snapshot before = snapshot(dir);
        HeldOpen held(dir + L"\\docs/readme.txt", FILE_SHARE_READ);
        EXPECT_EQ(run(Update, dir), Failed);
        EXPECT_EQ(get_error(), L"Файл занят: " + dir + L"\\docs/readme.txt — закройте планикс.");
        EXPECT_TRUE(snapshot(dir) == before);
    }

    ASSERT_EQ(run(Update, dir), Done) << utf8_from_wide(get_error());
    expect_folder(dir, expected_folder("v2", kCoreNvidiaAmd));
}

// A failed transfer stops the others and a cancel stops them all, closing the requests in
// flight, so the run ends at once on any line instead of after the slowest transfer.
TEST_F(Engine, AFailureOrACancelEndsEveryTransferInFlightAtOnce) {
    const std::wstring dir = fresh_folder(L"stop");
    install_v1(dir);
    const Manifest v2 = release("v2");
    const ManifestFile& scene = entry(v2, "data/scene.bin");
    // About 20 s for the whole blob at 50 KB/s.
    const std::string slowScene = blob_url(scene) + " slow=5000/0.1\n";
    struct Case {
        const char* what;
        std::string faults;
        bool cancel; // pressed once the other blobs have arrived, with data/scene.bin under way
        std::wstring message;
    };
    const Case cases[] = {
        {"404 beside a transfer at 50 KB/s",
         slowScene + blob_url(entry(v2, "extras/added.bin")) + " status=404\n", false,
         L"Не скачан extras/added.bin — проверьте интернет и повторите."},
        {"cancel during a transfer at 50 KB/s", slowScene, true, L"Установка отменена."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        delete_resume_cache();
        set_faults(c.faults);
        const Snapshot before = snapshot(dir);
        ULONGLONG stopAt = GetTickCount64();
        std::thread canceller([&] {
            if (!c.cancel) return;
            for (int i = 0; i < 20000; ++i) {
                if (exists(resume_cached(entry(v2, "docs/readme.txt"))) &&
                    exists(resume_cached(entry(v2, "extras/added.bin"))))
                    break;
                Sleep(1);
            }
            stopAt = GetTickCount64();
            g_cancelRequested = true;
        });
        EXPECT_EQ(run(Update, dir), Failed);
        const ULONGLONG end = GetTickCount64();
        canceller.join();
        EXPECT_EQ(get_error(), c.message);
        // The goal is one second; 5 s leaves room for a loaded machine's scheduling, and a run
        // that waited for the slow transfer instead would take 20 s or more.
        EXPECT_LT(end - stopAt, 5000u);
        EXPECT_TRUE(snapshot(dir) == before);
    }
}

// A cancelled, failed or killed run is followed by one that fetches only what had not arrived,
// never every file again.
TEST_F(Engine, ACancelledRunIsResumedFetchingOnlyWhatHadNotArrived) {
    const std::wstring dir = fresh_folder(L"resume");
    install_v1(dir);
    const Manifest v2 = release("v2");
    const ManifestFile& scene = entry(v2, "data/scene.bin");
    const ManifestFile& readme = entry(v2, "docs/readme.txt");
    const ManifestFile& added = entry(v2, "extras/added.bin");
    delete_resume_cache();
    // A Unix link to a file of the user's under the name of added.bin's blob, in a folder that
    // the prefix's set-up made and that becomes the cache: the blob must replace the link,
    // never be written through it.
    ASSERT_TRUE(MoveFileW(L"C:\\links\\cache", resume_cache_folder().c_str()));
    const std::wstring victim = L"C:\\links\\victim.txt";
    const std::string victimBytes = read(victim);
    // A blob of v1 and a stranger in the cache: neither is a blob of the release being installed.
    write(resume_cached(entry(release("v1"), "data/scene.bin")), "old");
    write(resume_cache_folder() + L"\\stranger.txt", "x");
    ASSERT_FALSE(victimBytes.empty());
    set_faults(blob_url(scene) + " slow=5000/0.1\n"); // far longer than the test
    std::thread canceller([&] {
        // Cancels once the two quick blobs are verified and kept, as the user would press. The
        // entries are looked at, never opened: an open one could not be replaced meanwhile.
        for (int i = 0; i < 20000; ++i) {
            if (exists(resume_cached(readme)) &&
                plain_file_size(resume_cached(added)) == static_cast<int64_t>(added.csize))
                break;
            Sleep(1);
        }
        g_cancelRequested = true;
    });
    const Snapshot before = snapshot(dir);
    size_t mark = log_mark();
    EXPECT_EQ(run(Update, dir), Failed);
    canceller.join();
    EXPECT_EQ(get_error(), L"Установка отменена.");
    EXPECT_TRUE(snapshot(dir) == before);
    EXPECT_EQ(blob_requests_since(mark),
              hashes_of(v2, {"data/scene.bin", "docs/readme.txt", "extras/added.bin"}));
    std::set<std::wstring> cached;
    for (const auto& item : fs::directory_iterator(resume_cache_folder()))
        cached.insert(item.path().filename().wstring());
    // The start of the blob the cancel cut, when any of it had arrived, is kept for the rest.
    const std::wstring part = wide_from_utf8(scene.sha256) + L".part";
    if (cached.erase(part))
        EXPECT_LT(fs::file_size(resume_cache_folder() + L"\\" + part), scene.csize);
    EXPECT_EQ(cached, (std::set<std::wstring>{wide_from_utf8(readme.sha256) + L".lzms",
                                              wide_from_utf8(added.sha256) + L".lzms"}));
    EXPECT_EQ(read(victim), victimBytes) << "written through the link";
    // A kept blob that went bad since is fetched again, not trusted.
    write(resume_cached(added), read(resume_cached(added)) + "x");

    // "Повторить": only the blob that had not arrived, and the one that went bad.
    set_faults("");
    mark = log_mark();
    ASSERT_EQ(run(Update, dir), Done) << utf8_from_wide(get_error());
    EXPECT_EQ(blob_requests_since(mark), hashes_of(v2, {"data/scene.bin", "extras/added.bin"}));
    // The kept blob counts as received, so the bar still ends full.
    EXPECT_EQ(g_bytesDone.load(), g_bytesTotal.load());
    expect_folder(dir, expected_folder("v2", kCoreNvidiaAmd));
    EXPECT_FALSE(exists(resume_cache_folder()));
}

// A staged file that does not fit on the disk fails the run like any other write, and takes
// nothing of the installation with it.
TEST_F(Engine, AFullDiskWhileStagingLeavesTheOldVersionWhole) {
    const char* mount = std::getenv("PLANNIX_SMALL_DISK");
    if (!mount || !*mount) GTEST_SKIP() << "no small disk could be mounted here";
    std::wstring unixPath = wide_from_utf8(mount);
    std::replace(unixPath.begin(), unixPath.end(), L'/', L'\\');
    const std::wstring dir = L"Z:" + unixPath + L"\\Plannix";
    install_v1(dir);
    delete_resume_cache();

    // Fill the disk but for less than data/scene.bin needs.
    ULARGE_INTEGER freeBytes{};
    ASSERT_TRUE(GetDiskFreeSpaceExW((dir + L"\\").c_str(), &freeBytes, nullptr, nullptr));
    ASSERT_GT(freeBytes.QuadPart, 16384u);
    const std::wstring filler = L"Z:" + unixPath + L"\\filler";
    write(filler, std::string(static_cast<size_t>(freeBytes.QuadPart - 8192), 'f'));

    const Snapshot before = snapshot(dir);
    EXPECT_EQ(run(Update, dir), Failed);
    EXPECT_EQ(get_error(), L"Не записать " + dir + L"\\data/scene.bin");
    EXPECT_TRUE(snapshot(dir) == before) << "a file replaced or a staged file left";
    EXPECT_EQ(display_version(), "1.0.0");

    ASSERT_TRUE(DeleteFileW(filler.c_str()));
    ASSERT_EQ(run(Update, dir), Done) << utf8_from_wide(get_error());
    expect_folder(dir, expected_folder("v2", kCoreNvidiaAmd));
}

std::string patch_url(const ManifestPatch& patch) {
    return "/plannix/app/patches/" + patch.sha256 + ".lzpatch";
}

// A rebuilt library is fetched as a patch from the installed one; anything wrong with the patch,
// or an installed file that is not the patch's source, falls back to the whole blob silently.
TEST_F(Engine, AnUpdateFetchesAPatchWhereOneFitsAndTheWholeBlobWhereverItFails) {
    const std::wstring dir = fresh_folder(L"patches");
    const Manifest p2 = release("p2");
    const ManifestFile& dll = entry(p2, "bin/engine.dll");
    ASSERT_EQ(dll.patches.size(), 1u);
    const ManifestPatch& patch = dll.patches[0];
    ASSERT_LT(patch.size * 10, dll.csize);
    const std::wstring dllPath = dir + L"\\bin/engine.dll";

    struct Case {
        const char* what;
        const char* release;
        std::string faults;
        bool flipPatch;     // the served patch with one bit changed
        bool editInstalled; // the installed file changed on disk, same size
        bool patched;       // the update ends without fetching the whole blob
        bool cancel = false; // pressed once the patch's first bytes have arrived
    };
    const Case cases[] = {
        {"by patch", "p2", "", false, false, true},
        {"patch missing", "p2", patch_url(patch) + " status=404\n", false, false, false},
        {"patch cut short", "p2", patch_url(patch) + " drop=50\n", false, false, false},
        {"patch with a wrong hash", "p2", "", true, false, false},
        {"patch that makes other content", "p2wrong", "", false, false, false},
        {"installed file edited", "p2", "", false, true, false},
        {"release without patches", "p2plain", "", false, false, false},
        // The cancel never falls back to the whole blob nor starts a new request.
        {"cancel during the patch", "p2", patch_url(patch) + " slow=8/0.2\n", false, false, true,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        delete_resume_cache();
        set_faults("");
        serve("p1");
        ASSERT_EQ(run(Install, dir), Done) << utf8_from_wide(get_error());
        if (c.editInstalled) {
            std::string bytes = read(dllPath);
            bytes[100] ^= 1;
            write(dllPath, bytes);
        }
        std::unique_ptr<ServedBlobAs> flipped;
        if (c.flipPatch) {
            flipped = std::make_unique<ServedBlobAs>(
                fixture("served/plannix/app/patches/" + patch.sha256 + ".lzpatch"),
                [](std::string b) {
                    b[b.size() / 2] ^= 1;
                    return b;
                });
        }
        set_faults(c.faults);
        serve(c.release);
        const size_t mark = log_mark();
        g_bytesDone = 0; // what the last run counted must not set off the cancel
        std::thread canceller([&] {
            if (!c.cancel) return;
            for (int i = 0; i < 20000 && g_bytesDone.load() == 0; ++i)
                Sleep(1);
            g_cancelRequested = true;
        });
        const WorkerState state = run(Update, dir);
        canceller.join();
        const std::multiset<std::string> blobs = blob_requests_since(mark);
        if (c.cancel) {
            EXPECT_EQ(state, Failed);
            EXPECT_EQ(get_error(), L"Установка отменена.");
            EXPECT_EQ(blobs.count(dll.sha256), 0u) << "fell back to the whole blob";
            EXPECT_TRUE(read(dllPath) == source("p1", "bin/engine.dll"));
            continue;
        }
        ASSERT_EQ(state, Done) << utf8_from_wide(get_error());
        EXPECT_EQ(read(dllPath), source("p2", "bin/engine.dll"));
        EXPECT_EQ(blobs.count(dll.sha256), c.patched ? 0u : 1u);
        EXPECT_EQ(blobs.size(), blobs.count(dll.sha256)) << "only the library changed";
        const bool patchAsked = std::string(c.release) != "p2plain" && !c.editInstalled;
        EXPECT_EQ(requests_since(mark, "patches").size(), patchAsked ? 1u : 0u);
        if (c.patched) {
            // The plan counted the patch, and the bar ends full on exactly what was fetched.
            EXPECT_EQ(g_bytesTotal.load(), patch.size);
            EXPECT_EQ(g_bytesDone.load(), patch.size);
        } else {
            // The plan counted the patch where it chose one; the fallback adds the whole blob,
            // and the bar never passes its end.
            const Manifest servedRelease = release(c.release); // outlives `served`
            const ManifestFile& served = entry(servedRelease, "bin/engine.dll");
            const uint64_t planned = patchAsked ? served.patches.at(0).size : 0;
            EXPECT_EQ(g_bytesTotal.load(), planned + dll.csize);
            EXPECT_GE(g_bytesDone.load(), dll.csize);
            EXPECT_LE(g_bytesDone.load(), g_bytesTotal.load());
        }
        EXPECT_EQ(display_version(), "1.6.0");
    }
}

// A stand-in for a virus scanner: hold_file.exe, a process of its own, holding `file` without
// sharing from the moment `trigger` exists (at once without one), for `seconds` or until
// released.
class Scanner {
  public:
    Scanner(const std::wstring& file, const std::wstring& trigger, int seconds) {
        static int count = 0;
        marker_ = temp_folder() + L"engine-scanner-" + std::to_wstring(++count) + L".marker";
        DeleteFileW(marker_.c_str());
        std::wstring command = quote_argument(wide_from_utf8(test_file_path("PLANNIX_HOLD_FILE", ""))) +
                               L" " + quote_argument(file) + L" " + quote_argument(marker_) +
                               L" " + std::to_wstring(seconds);
        if (!trigger.empty()) command += L" " + quote_argument(trigger);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &info));
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
    }
    ~Scanner() { release(); }
    bool holding() const {
        for (int i = 0; i < 2000 && !exists(marker_); ++i)
            Sleep(10);
        return exists(marker_);
    }
    // Ends the hold; one that never began ends too.
    void release() {
        DeleteFileW(marker_.c_str());
        if (process_ && WaitForSingleObject(process_.get(), 10000) != WAIT_OBJECT_0)
            TerminateProcess(process_.get(), 4);
        process_.reset();
    }

  private:
    std::wstring marker_;
    KernelHandle process_;
};

// A file that the swap must move, held by another program: a short hold is waited for and the
// update completes; a hold past the limit fails the update whole, naming the file, and the rerun
// once it is free fetches no blob.
TEST_F(Engine, AFileHeldAtTheSwapIsWaitedForOrTheUpdateFailsWholeAndResumesWithoutFetching) {
    struct Case {
        const char* what;
        std::wstring held;  // relative to the install folder
        bool fromItsWriting; // taken the moment it has been written (a staged file)
        bool pastTheLimit;
        std::wstring named; // in the message
    };
    const Case cases[] = {
        {"staged file, 3 s", L"extras/added.bin.new", true, false, L""},
        {"staged file, past the limit", L"extras/added.bin.new", true, true,
         L"extras/added.bin"},
        {"target, 3 s", L"docs/readme.txt", false, false, L""},
        {"target, past the limit", L"docs/readme.txt", false, true, L"docs/readme.txt"},
        {"obsolete file, 3 s", L"old/deep/er/gone.txt", false, false, L""},
        {"obsolete file, past the limit", L"old/deep/er/gone.txt", false, true,
         L"old/deep/er/gone.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring dir = fresh_folder(L"scanner");
        install_v1(dir);
        const Snapshot before = snapshot(dir);
        const std::wstring held = dir + L"\\" + c.held;
        g_heldRetryLimitMs = c.pastTheLimit ? 1500 : kHeldRetryLimitMs;
        // The staged file waits for a slow transfer, long enough to be seen and taken.
        set_faults(c.fromItsWriting ? blob_url(entry(release("v2"), "data/scene.bin")) +
                                          " slow=16384/0.1\n"
                                    : "");
        Scanner scanner(held, c.fromItsWriting ? held : L"", c.pastTheLimit ? 120 : 3);
        if (!c.fromItsWriting) ASSERT_TRUE(scanner.holding());
        size_t mark = log_mark();
        const WorkerState state = run(Update, dir);
        if (!c.pastTheLimit) {
            EXPECT_EQ(state, Done) << utf8_from_wide(get_error());
            expect_folder(dir, expected_folder("v2", kCoreNvidiaAmd));
            continue;
        }
        EXPECT_EQ(state, Failed);
        EXPECT_EQ(get_error(), msg_file_busy(dir + L"\\" + c.named));
        scanner.release(); // its file can be read again
        set_faults("");
        Snapshot after = snapshot(dir);
        // A staged file held through the undo could not be deleted, nor the folder made for it.
        for (auto it = after.begin(); it != after.end();)
            it = !before.count(it->first) && c.held.rfind(it->first, 0) == 0 ? after.erase(it)
                                                                            : std::next(it);
        EXPECT_TRUE(after == before) << "not the old version byte for byte";
        EXPECT_EQ(display_version(), "1.0.0");

        mark = log_mark();
        ASSERT_EQ(run(Update, dir), Done) << utf8_from_wide(get_error());
        EXPECT_TRUE(blob_requests_since(mark).empty());
        expect_folder(dir, expected_folder("v2", kCoreNvidiaAmd));
    }
}

// Windows refuses to replace or delete a read-only file; the record's files are Setup's all the
// same.
TEST_F(Engine, ReadOnlyRecordedFilesAreReplacedAndDeleted) {
    const std::wstring dir = fresh_folder(L"readonly");
    install_v1(dir);
    for (const wchar_t* path : {L"\\docs/readme.txt", L"\\old/deep/er/gone.txt", L"\\plannix.exe"})
        ASSERT_TRUE(SetFileAttributesW((dir + path).c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(run(Update, dir), Done) << utf8_from_wide(get_error());
    expect_folder(dir, expected_folder("v2", kCoreNvidiaAmd));
}
