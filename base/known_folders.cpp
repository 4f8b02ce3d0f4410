#include "base/known_folders.h"

#include "base/handles.h"

std::wstring known_folder(REFKNOWNFOLDERID id, DWORD flags) {
    CoTaskString path;
    if (FAILED(SHGetKnownFolderPath(id, flags, nullptr, path.put())) || !path) return {};
    return path.get();
}
