#include "ui/pages.h"

#include <algorithm>

#include "base/text.h"
#include "ui/control_ids.h"
#include "ui/embedded_resources.h"
#include "ui/focus.h"
#include "ui/theme.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// Content flows down from `y`; the error block, buttons and footer hang from the bottom edge.
struct Flow {
    Surface& s;
    const Fonts& fonts;
    const PageState& page;
    Layout at = {theme::kMargin, theme::kContentTop, page.width - 2.0f * theme::kMargin};

    float content_width() const { return at.width; }

    void paragraph(const std::wstring& text, uint32_t argb) {
        const Box box = {at.x, at.y, content_width(), theme::kParagraphHeight};
        draw_text(s, text, fonts.body.get(), argb, box, Align::Near, Align::Near);
        read_text(s, box, ElementRole::Text, text);
        at.y += theme::kParagraphAdvance;
    }

    void heading(const wchar_t* text) {
        const Box box = {at.x, at.y, theme::kHeadingWidth, theme::kHeadingHeight};
        draw_text(s, text, fonts.heading.get(), theme::kTextPrimary, box, Align::Near, Align::Near);
        read_text(s, box, ElementRole::Text, text);
    }
};

// The logo's place: its height fixed, its width from the image's proportions.
bool logo_box(Box& box) {
    UINT width = 0, height = 0;
    if (!g_logoImage || GdipGetImageWidth(g_logoImage, &width) != Ok ||
        GdipGetImageHeight(g_logoImage, &height) != Ok || width == 0 || height == 0)
        return false;
    const float logoWidth =
        static_cast<float>(width) * theme::kLogoHeight / static_cast<float>(height);
    box = {theme::kLogoX, theme::kLogoY, logoWidth, theme::kLogoHeight};
    return true;
}

// The logo is the first thing drawn, on the white background, so its kept pixels serve.
void draw_logo(Surface& s, const ImageTile& tile) {
    Box box;
    if (s.pixels && !tile.pixels.empty()) {
        put_image_tile(s, tile);
    } else if (logo_box(box)) {
        draw_image(s, g_logoImage, box);
    }
}

void draw_folder_chooser(Flow& f) {
    f.heading(L"Папка установки");
    const float boxWidth = f.content_width() - theme::kFolderBoxRightGap;
    const Box box = {f.at.x, f.at.y + theme::kFolderBoxTop, boxWidth, theme::kFolderBoxHeight};
    fill_round_rect(f.s, box, theme::kFolderBoxRadius, theme::kWhite);
    stroke_round_rect(f.s, box, theme::kFolderBoxRadius, theme::kOutline, theme::kOutlinePixels);
    draw_text(f.s, f.page.installDir, f.fonts.small.get(), theme::kTextSecondary,
              {theme::kMargin + theme::kFolderTextInset, box.y,
               boxWidth - 2.0f * theme::kFolderTextInset, theme::kFolderBoxHeight},
              Align::Near, Align::Centre);
    read_text(f.s, box, ElementRole::Text, f.page.installDir);
    draw_button(f.s,
                {f.page.width - theme::kMargin - theme::kChooseButtonWidth, box.y,
                 theme::kChooseButtonWidth, theme::kFolderBoxHeight},
                L"Изменить…", kChooseFolder, Secondary, f.fonts.button.get());
    f.at.y += theme::kFolderChooserAdvance;
}

void draw_ready_page(Flow& f) {
    const PageState& page = f.page;
    const bool firstInstall = page.installedVersion.empty();
    const std::wstring installed = wide_from_utf8(page.installedVersion);
    f.paragraph(firstInstall ? L"Планировка торгового зала и оборудование из каталога в 3D. "
                               L"Файлы скачиваются с сайта Кварталис."
                             : L"Установлена версия " + installed +
                                   L". Скачаются только изменившиеся файлы — настройки и вход "
                                   L"сохранятся.",
                theme::kTextSecondary);
    if (page.mode != Install) return;

    if (firstInstall) draw_folder_chooser(f);
    f.heading(L"Что установить");
    f.at.y += theme::kComponentsHeadingAdvance;
    for (int n = 0; n < kComponentCount; ++n)
        draw_component_row(f.s, f.at, n, page.rows[n], f.fonts.heading.get(), f.fonts.small.get());
    f.at.y += theme::kAfterRows;
    if (firstInstall)
        draw_check_box(f.s, f.at, L"Ярлык на рабочем столе", page.desktopShortcut,
                       kDesktopShortcutBox, f.fonts.body.get());
    draw_check_box(f.s, f.at, L"Запустить после установки", page.launchAfterInstall,
                   kLaunchAfterInstallBox, f.fonts.body.get());
}

void draw_progress_block(Flow& f) {
    const PageState& page = f.page;
    const float width = f.content_width();
    const float y = f.at.y;
    fill_round_rect(f.s, {theme::kMargin, y + theme::kTrackTop, width, theme::kTrackHeight},
                    theme::kTrackRadius, theme::kFillHover);
    const double fraction = progress_fraction(page.bytesDone, page.bytesTotal);
    if (fraction > 0.0)
        fill_round_rect(f.s,
                        {theme::kMargin, y + theme::kTrackTop,
                         std::max(static_cast<float>(fraction) * width, theme::kMinFillWidth),
                         theme::kTrackHeight},
                        theme::kTrackRadius, theme::kProgressFill);
    const float textY = y + theme::kProgressTextTop;
    draw_text(f.s, progress_size_text(page.bytesDone, page.bytesTotal), f.fonts.small.get(),
              theme::kTextMuted, {theme::kMargin, textY, width, theme::kProgressTextHeight},
              Align::Far, Align::Near);
    draw_text(f.s, page.status, f.fonts.small.get(), theme::kTextSecondary,
              {theme::kMargin, textY, width - theme::kSizeTextReserve, theme::kProgressTextHeight},
              Align::Near, Align::Near);
    // The bar and the two texts under it are one progress bar to a screen reader.
    if (f.s.elements)
        add_element(f.s,
                    {theme::kMargin, y + theme::kTrackTop, width,
                     textY + theme::kProgressTextHeight - (y + theme::kTrackTop)},
                    {.role = ElementRole::ProgressBar,
                     .name = page.status,
                     .value = progress_value(page.bytesDone, page.bytesTotal)});
    f.at.y += theme::kProgressAdvance;
}

void draw_content(Flow& f, Page kind) {
    const PageState& page = f.page;
    switch (kind) {
    case Page::UninstallRunning:
        f.paragraph(page.status, theme::kTextSecondary);
        return;
    case Page::UninstallDone:
        f.paragraph(L"Спасибо, что пользовались планиксом Кварталис.", theme::kTextSecondary);
        return;
    case Page::UninstallConfirm:
        f.paragraph(L"Программа будет удалена из папки " + page.installDir + L".",
                    theme::kTextSecondary);
        f.at.y += theme::kConfirmBoxTop;
        draw_check_box(f.s, f.at, L"Удалить и мои данные: настройки, вход на сайт, кэш моделей",
                       page.removeUserData, kRemoveUserDataBox, f.fonts.body.get());
        return;
    case Page::InstallDone:
        f.paragraph(L"Версия " + wide_from_utf8(page.installedVersion) + L" установлена в " +
                        page.installDir + L". Ярлык — в меню «Пуск».",
                    theme::kTextSecondary);
        return;
    case Page::Progress:
        draw_progress_block(f);
        return;
    case Page::Ready:
        draw_ready_page(f);
        return;
    }
}

void draw_button_row(Surface& s, const Fonts& fonts, const PageState& page) {
    ButtonSpec buttons[2];
    const int count = button_row(
        page.mode, page.state,
        primary_label(page.mode, page.state, page.installedVersion, page.remoteVersion), buttons);
    float right = page.width - theme::kMargin;
    const float top = page.height - theme::kButtonRowFromBottom;
    for (int n = 0; n < count; ++n) {
        const ButtonSpec& b = buttons[n];
        draw_button(s, {right - b.width, top, b.width, theme::kButtonHeight}, b.label, b.id,
                    b.style, fonts.button.get());
        right -= b.width + theme::kButtonGap;
    }
}

} // namespace

PageState read_page_state(int width, int height) {
    PageState page;
    page.scale = g_uiScale;
    page.width = static_cast<float>(width) / page.scale;
    page.height = static_cast<float>(height) / page.scale;
    page.hoverId = g_hoverId;
    page.pressedId = g_pressedId;
    page.mode = g_runMode;
    page.state = g_workerState.load();
    page.installedVersion = get_installed_version();
    page.remoteVersion = get_remote_version();
    page.installDir = g_installDir;
    page.status = get_status();
    page.error = get_error();
    page.bytesDone = g_bytesDone.load();
    page.bytesTotal = g_bytesTotal.load();
    // The sizes are valid only once the flag, set after them, reads true.
    const bool catalogReady = g_catalogReady.load();
    for (int n = 0; n < kComponentCount; ++n)
        page.rows[n] = read_component_row(n, catalogReady);
    page.desktopShortcut = g_desktopShortcut.load();
    page.launchAfterInstall = g_launchAfterInstall.load();
    page.removeUserData = g_removeUserData.load();
    // A page change keeps the focus on a control of the same id where the new page has one.
    const std::vector<int32_t> order = page_focus_order(page);
    if (std::find(order.begin(), order.end(), g_focusId) == order.end()) g_focusId = kNoControl;
    page.focusId = g_focusId;
    page.focusRing = g_focusRingShown;
    return page;
}

Page page_kind(const PageState& page) {
    return choose_page(page.mode, page.state, page.bytesDone, page.bytesTotal);
}

std::vector<int32_t> page_focus_order(const PageState& page) {
    return focus_order(page.mode, page.state, page_kind(page), page.installedVersion.empty());
}

PageAssets make_page_assets(float scale) {
    PageAssets assets;
    assets.scale = scale;
    assets.fonts = make_fonts(scale);
    Box box;
    if (logo_box(box)) assets.logo = make_image_tile(g_logoImage, box, scale);
    return assets;
}

void draw_page(Surface& s, const PageAssets& assets, const PageState& page) {
    const Fonts& fonts = assets.fonts;
    draw_logo(s, assets.logo);
    const Box titleBox = {theme::kMargin, theme::kTitleY, page.width - 2.0f * theme::kMargin,
                          theme::kTitleHeight};
    const wchar_t* title = page_title(page.mode, page.state, !page.installedVersion.empty());
    draw_text(s, title, fonts.title.get(), theme::kTextPrimary, titleBox, Align::Near, Align::Near);
    read_text(s, titleBox, ElementRole::Text, title);

    const Page kind = page_kind(page);
    Flow flow{s, fonts, page};
    draw_content(flow, kind);

    if (shows_error_block(kind, page.state)) {
        const Box errorBox = {theme::kMargin, page.height - theme::kErrorFromBottom,
                              page.width - 2.0f * theme::kMargin, theme::kErrorHeight};
        draw_text(s, page.error, fonts.body.get(), theme::kDanger, errorBox, Align::Near,
                  Align::Near);
        read_text(s, errorBox, ElementRole::Alert, page.error);
    }
    draw_button_row(s, fonts, page);
    draw_text(s, L"Кварталис", fonts.small.get(), theme::kTextFooter,
              {theme::kMargin, page.height - theme::kButtonRowFromBottom, theme::kFooterWidth,
               theme::kButtonHeight},
              Align::Near, Align::Centre);
}
