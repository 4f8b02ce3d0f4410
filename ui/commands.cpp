#include "ui/commands.h"

#include <windows.h>
#include <shellapi.h>
#include <shobjidl.h>

#include "base/handles.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/state.h"
#include "catalogue/components.h"
#include "ui/control_ids.h"
#include "ui/page_rules.h"

namespace {

void toggle(std::atomic<bool>& option) {
    option.store(!option.load());
}

} // namespace

const UiHost* ui_host(HWND window) {
    return reinterpret_cast<const UiHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void on_command(HWND window, int32_t id) {
    const WorkerState state = g_workerState.load();
    switch (id) {
    case kPrimaryButton:
        if (state != Done) {
            const UiHost* host = ui_host(window);
            if (host && host->startWorker) host->startWorker(); // nothing while a worker runs
            break;
        }
        if (g_runMode != Uninstall) launch_app();
        PostMessageW(window, WM_CLOSE, 0, 0);
        break;
    case kCancelButton:
        if (state == Running) {
            // The window stays; the worker stops between steps with its own message.
            g_cancelRequested.exchange(true);
            break;
        }
        PostMessageW(window, WM_CLOSE, 0, 0);
        break;
    case kChooseFolder:
        if (control_can_act(id, state)) choose_install_folder(window);
        break;
    case kDesktopShortcutBox:
        toggle(g_desktopShortcut);
        break;
    case kLaunchAfterInstallBox:
        toggle(g_launchAfterInstall);
        break;
    case kRemoveUserDataBox:
        toggle(g_removeUserData);
        break;
    default:
        // The selection is what a worker installs: it never changes under a running one.
        if (id > kComponentRowBase && control_can_act(id, state)) {
            bool& selected = g_componentSelected[id - kComponentRowBase];
            selected = !selected;
        }
        break;
    }
    InvalidateRect(window, nullptr, FALSE);
}

void launch_app() {
    const std::wstring target = join_path(g_installDir, kAppExeName);
    ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, g_installDir.c_str(), SW_SHOWNORMAL);
}

std::wstring install_dir_for_choice(const std::wstring& chosen) {
    const size_t slash = chosen.find_last_of(L"\\/");
    const std::wstring last = slash == std::wstring::npos ? chosen : chosen.substr(slash + 1);
    // Case matters: "plannix" is someone else's folder, not ours.
    if (last == kProductFolderName) return chosen;
    return join_path(chosen, std::wstring(kPublisherFolderName) + L" " + kProductFolderName);
}

void choose_install_folder(HWND owner) {
    ComPtr<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IFileOpenDialog, dialog.put_void())))
        return;
    FILEOPENDIALOGOPTIONS options = 0;
    if (FAILED(dialog->GetOptions(&options))) options = 0;
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
    dialog->SetTitle(L"Папка для планикса");
    // Cancelled or failed: the folder stays as it was.
    if (FAILED(dialog->Show(owner))) return;
    ComPtr<IShellItem> item;
    if (FAILED(dialog->GetResult(item.put()))) return;
    CoTaskString path;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put())) || !path) return;
    // The dialog ran a nested message loop; the folder must still never change under a worker.
    if (g_workerState.load() != Idle) return;
    g_installDir = install_dir_for_choice(path.get());
}
