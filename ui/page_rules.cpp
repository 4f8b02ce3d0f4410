#include "ui/page_rules.h"

#include <algorithm>
#include <cwchar>

#include "catalogue/components.h"
#include "ui/control_ids.h"
#include "ui/theme.h"

const wchar_t kYourCardSuffix[] = L"  ·  ваша видеокарта";

namespace {

constexpr double kMiB = 1048576.0;

} // namespace

Page choose_page(RunMode mode, WorkerState state, uint64_t bytesDone, uint64_t bytesTotal) {
    if (mode == Uninstall) {
        if (state == Running) return Page::UninstallRunning;
        if (state == Done) return Page::UninstallDone;
        return Page::UninstallConfirm;
    }
    if (state == Done) return Page::InstallDone;
    if (state == Running) return Page::Progress;
    if (state == Failed && (bytesTotal != 0 || bytesDone != 0)) return Page::Progress;
    return Page::Ready;
}

const wchar_t* page_title(RunMode mode, WorkerState state, bool somethingInstalled) {
    if (mode == Uninstall) return state == Done ? L"Планикс удалён" : L"Удалить 3D-планикс?";
    if (state == Done) return L"Готово!";
    if (mode == Update || somethingInstalled) return L"Обновление 3D-планикса";
    return L"Установка 3D-планикса";
}

bool shows_error_block(Page page, WorkerState state) {
    return state == Failed && page != Page::UninstallRunning && page != Page::UninstallDone;
}

const wchar_t* primary_label(RunMode mode, WorkerState state, const std::string& installedVersion,
                             const std::string& remoteVersion) {
    if (state == Failed) return L"Повторить";
    if (mode == Uninstall) return L"Удалить";
    if (installedVersion.empty()) return L"Установить";
    if (!remoteVersion.empty() && remoteVersion == installedVersion) return L"Применить";
    return L"Обновить";
}

int button_row(RunMode mode, WorkerState state, const wchar_t* primaryLabel, ButtonSpec out[2]) {
    const ButtonSpec cancel = {L"Отмена", kCancelButton, Secondary, theme::kCancelWidth};
    switch (state) {
    case Running:
        out[0] = cancel;
        return 1;
    case Done:
        if (mode == Uninstall) {
            out[0] = {L"Закрыть", kPrimaryButton, Primary, theme::kCloseAloneWidth};
            return 1;
        }
        out[0] = {L"Запустить", kPrimaryButton, Primary, theme::kLaunchWidth};
        out[1] = {L"Закрыть", kCancelButton, Secondary, theme::kCancelWidth};
        return 2;
    case Idle:
    case Failed:
        break;
    }
    out[0] = {primaryLabel, kPrimaryButton, mode == Uninstall ? Danger : Primary,
              theme::kActionWidth};
    out[1] = cancel;
    return 2;
}

bool control_can_act(int32_t id, WorkerState state) {
    switch (id) {
    case kCancelButton:
        return true; // cancels a run, closes otherwise
    case kChooseFolder:
        return state == Idle;
    case kPrimaryButton:
    case kDesktopShortcutBox:
    case kLaunchAfterInstallBox:
    case kRemoveUserDataBox:
        return state != Running;
    default:
        // The selection is what a worker installs: it never changes under a running one.
        return id > kComponentRowBase && id < kComponentRowBase + kComponentCount &&
               (state == Idle || state == Failed);
    }
}

std::vector<int32_t> focus_order(RunMode mode, WorkerState state, Page page, bool firstInstall) {
    std::vector<int32_t> controls;
    if (page == Page::Ready && mode == Install) {
        if (firstInstall) controls.push_back(kChooseFolder);
        for (int n = 1; n < kComponentCount; ++n)
            controls.push_back(kComponentRowBase + n);
        if (firstInstall) controls.push_back(kDesktopShortcutBox);
        controls.push_back(kLaunchAfterInstallBox);
    } else if (page == Page::UninstallConfirm) {
        controls.push_back(kRemoveUserDataBox);
    }
    ButtonSpec buttons[2];
    // The row is laid out from the right; the keyboard reads it from the left.
    for (int n = button_row(mode, state, L"", buttons); n > 0; --n)
        controls.push_back(buttons[n - 1].id);
    std::vector<int32_t> order;
    for (const int32_t id : controls)
        if (control_can_act(id, state)) order.push_back(id);
    return order;
}

int32_t next_focus(const std::vector<int32_t>& order, int32_t current, bool forward) {
    if (order.empty()) return kNoControl;
    const size_t count = order.size();
    for (size_t n = 0; n < count; ++n)
        if (order[n] == current) return order[forward ? (n + 1) % count : (n + count - 1) % count];
    return forward ? order.front() : order.back();
}

double progress_fraction(uint64_t bytesDone, uint64_t bytesTotal) {
    if (bytesTotal == 0) return 0.0;
    return std::min(static_cast<double>(bytesDone) / static_cast<double>(bytesTotal), 1.0);
}

std::wstring component_size_text(uint64_t bytes) {
    if (bytes == 0) return {};
    wchar_t text[kSizeTextChars];
    // The longest value, 2^64 bytes as 17592186044416 MiB, leaves room for the unit.
    std::swprintf(text, kSizeTextChars, L"%.0f МБ",
                  std::max(static_cast<double>(bytes) / kMiB, 1.0));
    return text;
}

std::wstring progress_size_text(uint64_t bytesDone, uint64_t bytesTotal) {
    if (bytesTotal == 0) return {};
    wchar_t text[kProgressTextChars];
    // Two 16-digit figures with one decimal and the words between fit well inside the buffer.
    std::swprintf(text, kProgressTextChars, L"%.1f из %.1f МБ",
                  static_cast<double>(bytesDone) / kMiB, static_cast<double>(bytesTotal) / kMiB);
    return text;
}
