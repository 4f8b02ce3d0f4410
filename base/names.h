#pragma once
// The names that Setup shares with the files, registry and processes it leaves behind; each
// is spelled once here so the writer and every reader agree.

// The uninstall entry under HKEY_CURRENT_USER: written after every successful run, read at
// start-up, deleted by the removal.
constexpr const wchar_t* kUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KvartalisPlannix";

// The publisher's and the product's folder names, nested under a known folder: the default
// install folder (per-user program files) and the user's own data (local app data).
constexpr const wchar_t* kPublisherFolderName = L"Kvartalis";
constexpr const wchar_t* kProductFolderName = L"Plannix";

// In the install folder.
constexpr const wchar_t* kRecordFileName = L"install.json";
// The record is written here first, then moved over kRecordFileName.
constexpr const wchar_t* kRecordTempName = L"install.json.tmp";
constexpr const wchar_t* kCacheFolderName = L"update-cache";
constexpr const wchar_t* kAppExeName = L"plannix.exe";
constexpr const wchar_t* kSetupExeName = L"setup.exe";
// Appended to a file's full name while its new content is staged beside it.
constexpr const wchar_t* kStagedSuffix = L".new";
// Exists only while a run puts files in place: its journal, the files set aside, and staged
// files whose own folder cannot be made before the swap.
constexpr const wchar_t* kSwapFolderName = L"plannix-swap";

// In the temporary folder.
constexpr const wchar_t* kTempCopyPrefix = L"plannix-setup-";
constexpr const wchar_t* kLogFileName = L"plannix-setup.log";
// In the temporary folder: the blobs a run has verified, kept until a run succeeds, so that an
// interrupted run's successor fetches only what had not arrived.
constexpr const wchar_t* kResumeCacheName = L"plannix-setup-cache";

// Held by the one Setup that works on an install folder; followed by the folder's hash.
constexpr const wchar_t* kFolderMutexPrefix = L"Local\\plannix-setup-";
