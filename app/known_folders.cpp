#include "app/known_folders.h"

#include <objbase.h>

namespace {

struct CoTaskString {
    PWSTR text = nullptr;
    ~CoTaskString() { CoTaskMemFree(text); }
};

} // namespace

std::wstring known_folder(REFKNOWNFOLDERID id, DWORD flags) {
    CoTaskString path;
    if (FAILED(SHGetKnownFolderPath(id, flags, nullptr, &path.text)) || !path.text) return {};
    return path.text;
}
