#include "base/file_identity.h"

#include "base/handles.h"

bool file_identity(const std::wstring& path, FileIdentity& id) {
    // Backup semantics so folders open too; no access needed beyond the attributes.
    FileHandle file(CreateFileW(path.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file.get(), &info)) return false;
    id.volume = info.dwVolumeSerialNumber;
    id.indexHigh = info.nFileIndexHigh;
    id.indexLow = info.nFileIndexLow;
    return true;
}

bool same_file(const std::wstring& a, const std::wstring& b) {
    FileIdentity ia, ib;
    return !a.empty() && !b.empty() && file_identity(a, ia) && file_identity(b, ib) && ia == ib;
}
