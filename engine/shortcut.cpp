#include "engine/shortcut.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "base/handles.h"
#include "base/paths.h"

namespace {

constexpr const wchar_t* kShortcutDescription = L"3D-планикс магазина — Кварталис";

} // namespace

void create_shortcut(const std::wstring& linkPath, const std::wstring& target) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.put_void())))
        return;
    link->SetPath(target.c_str());
    // The target's own folder, by the one rule that keeps "D:\" for a target at a drive's root.
    link->SetWorkingDirectory(folder_of(target).c_str());
    link->SetIconLocation(target.c_str(), 0);
    link->SetDescription(kShortcutDescription);
    ComPtr<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.put_void())))
        file->Save(linkPath.c_str(), TRUE);
}
