// A stand-in for the application in demo and test releases, so that an update can run its
// handshake for real.
//
//   plannix.exe
//       Appends a marker line to "plannix-started.txt" beside itself (its version, a tab, its
//       command line; UTF-8), then shows its version in a message box. With the environment
//       variable PLANNIX_DEMO_NO_WINDOW set to 1 it ends after the marker (headless tests).
//   plannix.exe --request-update [--linger MS] [ARGS...]
//       Does what the real application does when it wants an update: starts setup.exe from its
//       own folder with "/update /pid <its process id>" followed by ARGS, and exits. --linger
//       keeps it running MS milliseconds longer, as an application that is slow to close.
//
// Its version is the first line of "version.txt" beside it, so that two releases differ by
// a text file instead of by two builds of this program.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

constexpr const wchar_t* kVersionFileName = L"version.txt";
constexpr const wchar_t* kMarkerFileName = L"plannix-started.txt";
constexpr DWORD kLongestLinger = 120000; // a test's runaway value must not keep it for ever

std::wstring own_folder() {
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return L".";
    std::wstring folder(path, n);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : folder.substr(0, slash);
}

std::string to_utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                            nullptr, nullptr);
    return out;
}

std::wstring from_utf8(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// The first line of version.txt, or "?" when there is none.
std::wstring read_version(const std::wstring& folder) {
    const std::wstring path = folder + L"\\" + kVersionFileName;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return L"?";
    char buffer[256] = {}; // a version is a short line; the rest is never looked at
    DWORD got = 0;
    const BOOL read = ReadFile(file, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(file);
    if (!read) return L"?";
    std::string line(buffer, got);
    line = line.substr(0, line.find_first_of("\r\n"));
    return line.empty() ? L"?" : from_utf8(line);
}

// Opened and closed for each start, and shared, so Setup may replace the folder's files around it.
void append_marker(const std::wstring& folder, const std::wstring& version) {
    const std::wstring path = folder + L"\\" + kMarkerFileName;
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string line = to_utf8(version + L"\t" + GetCommandLineW()) + "\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

// Arguments as CommandLineToArgvW split them; quoted again when they hold a space.
std::wstring quoted_if_needed(const std::wstring& arg) {
    return arg.find_first_of(L" \t") == std::wstring::npos ? arg : L"\"" + arg + L"\"";
}

int request_update(const std::wstring& folder, int argc, wchar_t** argv, int first) {
    DWORD lingerMs = 0;
    if (first + 1 < argc && std::wstring(argv[first]) == L"--linger") {
        lingerMs = static_cast<DWORD>(std::wcstoul(argv[first + 1], nullptr, 10));
        if (lingerMs > kLongestLinger) lingerMs = kLongestLinger;
        first += 2;
    }
    std::wstring parameters = L"/update /pid " + std::to_wstring(GetCurrentProcessId());
    for (int i = first; i < argc; ++i)
        parameters += L" " + quoted_if_needed(argv[i]);
    const std::wstring setup = folder + L"\\setup.exe";
    const auto started = reinterpret_cast<INT_PTR>(ShellExecuteW(
        nullptr, L"open", setup.c_str(), parameters.c_str(), folder.c_str(), SW_SHOWNORMAL));
    if (started <= 32) return 1; // ShellExecuteW's own failure codes
    Sleep(lingerMs);
    return 0;
}

bool headless() {
    wchar_t value[8] = {};
    const DWORD n = GetEnvironmentVariableW(L"PLANNIX_DEMO_NO_WINDOW", value, 8);
    return n > 0 && n < 8 && std::wstring(value) == L"1";
}

// Windows keeps a running program's file from being written or replaced; Wine does not, so the
// stand-in holds its own file open the same way for as long as it runs.
HANDLE hold_own_image() {
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return INVALID_HANDLE_VALUE;
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const HANDLE image = hold_own_image();
    const std::wstring folder = own_folder();
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const bool update = argv != nullptr && argc > 1 && std::wstring(argv[1]) == L"--request-update";
    int result = 0;
    if (update) {
        result = request_update(folder, argc, argv, 2);
    } else {
        const std::wstring version = read_version(folder);
        append_marker(folder, version);
        if (!headless())
            MessageBoxW(
                nullptr,
                (L"Демонстрационная сборка Планикса, версия " + version + L". Её установил Setup.")
                    .c_str(),
                L"Планикс — Кварталис", MB_OK | MB_ICONINFORMATION);
    }
    LocalFree(argv);
    if (image != INVALID_HANDLE_VALUE) CloseHandle(image);
    return result;
}
