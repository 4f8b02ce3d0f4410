// What each page shows, from the shared state's values: page choice, titles, the primary
// button's label, the button row, the progress fraction and the size texts.
#include <gtest/gtest.h>

#include <cstdint>

#include "ui/control_ids.h"
#include "ui/page_rules.h"

namespace {

constexpr uint64_t kMiB = 1048576;

struct PageCase {
    RunMode mode;
    WorkerState state;
    uint64_t done, total;
    Page page;
    bool errorBlock;
};

TEST(PageRules, ThePageFollowsTheModeTheStateAndTheCounters) {
    const PageCase cases[] = {
        {Install, Idle, 0, 0, Page::Ready, false},
        {Install, Running, 0, 0, Page::Progress, false},
        {Install, Failed, 0, 0, Page::Ready, true},    // failed before any byte
        {Install, Failed, 0, 5, Page::Progress, true}, // a total alone counts as progress
        {Install, Failed, 7, 0, Page::Progress, true},
        {Install, Done, 5, 5, Page::InstallDone, false},
        {Update, Idle, 0, 0, Page::Ready, false},
        {Update, Failed, 1, 9, Page::Progress, true},
        {Update, Done, 0, 0, Page::InstallDone, false},
        {Uninstall, Idle, 0, 0, Page::UninstallConfirm, false},
        {Uninstall, Failed, 3, 3, Page::UninstallConfirm, true},
        {Uninstall, Running, 3, 3, Page::UninstallRunning, false},
        {Uninstall, Done, 0, 0, Page::UninstallDone, false},
    };
    for (const PageCase& c : cases) {
        const Page page = choose_page(c.mode, c.state, c.done, c.total);
        EXPECT_EQ(page, c.page) << "mode " << c.mode << " state " << c.state << " " << c.done << "/"
                                << c.total;
        EXPECT_EQ(shows_error_block(page, c.state), c.errorBlock)
            << "mode " << c.mode << " state " << c.state;
    }
    // The uninstall status and thanks pages never carry the error block.
    EXPECT_FALSE(shows_error_block(Page::UninstallRunning, Failed));
    EXPECT_FALSE(shows_error_block(Page::UninstallDone, Failed));
}

TEST(PageRules, TitlesNameTheJob) {
    EXPECT_STREQ(page_title(Install, Idle, false), L"Установка 3D-планикса");
    EXPECT_STREQ(page_title(Install, Running, true), L"Обновление 3D-планикса");
    EXPECT_STREQ(page_title(Update, Failed, false), L"Обновление 3D-планикса");
    EXPECT_STREQ(page_title(Install, Done, false), L"Готово!");
    EXPECT_STREQ(page_title(Update, Done, true), L"Готово!");
    EXPECT_STREQ(page_title(Uninstall, Idle, true), L"Удалить 3D-планикс?");
    EXPECT_STREQ(page_title(Uninstall, Running, true), L"Удалить 3D-планикс?");
    EXPECT_STREQ(page_title(Uninstall, Done, true), L"Планикс удалён");
}

struct LabelCase {
    RunMode mode;
    WorkerState state;
    const char* installed;
    const char* remote;
    const wchar_t* label;
};

TEST(PageRules, ThePrimaryLabelTakesTheFirstRuleThatMatches) {
    const LabelCase cases[] = {
        {Install, Failed, "", "", L"Повторить"},
        {Uninstall, Failed, "2.5", "2.5", L"Повторить"}, // failure before the mode
        {Uninstall, Idle, "2.5", "2.5", L"Удалить"},
        {Install, Idle, "", "2.5", L"Установить"},
        {Update, Idle, "", "", L"Установить"},
        {Install, Idle, "2.5", "2.5", L"Применить"},
        {Install, Idle, "2.5", "2.6", L"Обновить"},
        {Install, Idle, "2.5", "", L"Обновить"},      // version on offer not known yet
        {Install, Idle, "2.5", "2.5.0", L"Обновить"}, // byte for byte, not by meaning
        {Install, Idle, "2.5", "2.5 ", L"Обновить"},
        {Update, Idle, "2.5", "2.5", L"Применить"},
    };
    for (const LabelCase& c : cases)
        EXPECT_STREQ(primary_label(c.mode, c.state, c.installed, c.remote), c.label)
            << "mode " << c.mode << " state " << c.state << " installed '" << c.installed
            << "' remote '" << c.remote << "'";
}

TEST(PageRules, TheButtonRowListsItsButtonsFromTheRight) {
    ButtonSpec b[2];
    ASSERT_EQ(button_row(Install, Running, L"x", b), 1);
    EXPECT_STREQ(b[0].label, L"Отмена");
    EXPECT_EQ(b[0].id, kCancelButton);
    EXPECT_EQ(b[0].style, Secondary);
    EXPECT_EQ(b[0].width, 120.0f);

    ASSERT_EQ(button_row(Uninstall, Done, L"x", b), 1);
    EXPECT_STREQ(b[0].label, L"Закрыть");
    EXPECT_EQ(b[0].id, kPrimaryButton);
    EXPECT_EQ(b[0].style, Primary);
    EXPECT_EQ(b[0].width, 140.0f);

    ASSERT_EQ(button_row(Update, Done, L"x", b), 2);
    EXPECT_STREQ(b[0].label, L"Запустить");
    EXPECT_EQ(b[0].width, 150.0f);
    EXPECT_STREQ(b[1].label, L"Закрыть");
    EXPECT_EQ(b[1].id, kCancelButton);
    EXPECT_EQ(b[1].style, Secondary);

    for (const WorkerState state : {Idle, Failed}) {
        ASSERT_EQ(button_row(Uninstall, state, L"Удалить", b), 2) << state;
        EXPECT_STREQ(b[0].label, L"Удалить");
        EXPECT_EQ(b[0].style, Danger) << state;
        EXPECT_EQ(b[0].width, 160.0f);
        EXPECT_STREQ(b[1].label, L"Отмена");
        ASSERT_EQ(button_row(Install, state, L"Установить", b), 2) << state;
        EXPECT_EQ(b[0].style, Primary) << state;
    }
}

TEST(SizeTexts, TheBarIsClampedWhileTheTextShowsTheTrueFigures) {
    EXPECT_EQ(progress_fraction(0, 0), 0.0);
    EXPECT_EQ(progress_fraction(5, 0), 0.0);
    EXPECT_EQ(progress_fraction(1, 4), 0.25);
    EXPECT_EQ(progress_fraction(9, 4), 1.0);
    EXPECT_EQ(progress_fraction(UINT64_MAX, 1), 1.0);

    EXPECT_EQ(progress_size_text(0, 0), L"");
    EXPECT_EQ(progress_size_text(5 * kMiB, 0), L"");
    EXPECT_EQ(progress_size_text(0, 12 * kMiB), L"0.0 из 12.0 МБ");
    EXPECT_EQ(progress_size_text(210 * kMiB, 525 * kMiB), L"210.0 из 525.0 МБ");
    EXPECT_EQ(progress_size_text(600 * kMiB + 3 * kMiB / 10, 525 * kMiB), L"600.3 из 525.0 МБ");
    EXPECT_EQ(progress_size_text(UINT64_MAX, UINT64_MAX),
              L"17592186044416.0 из 17592186044416.0 МБ");
}

TEST(SizeTexts, AComponentShowsWholeMegabytesWithAOneMegabyteFloor) {
    EXPECT_EQ(component_size_text(0), L""); // no size at all
    EXPECT_EQ(component_size_text(1), L"1 МБ");
    EXPECT_EQ(component_size_text(kMiB - 1), L"1 МБ");
    EXPECT_EQ(component_size_text(kMiB + kMiB / 2 - 1), L"1 МБ");
    EXPECT_EQ(component_size_text(2 * kMiB), L"2 МБ");
    EXPECT_EQ(component_size_text(812 * kMiB + 123456), L"812 МБ");
    EXPECT_EQ(component_size_text(UINT64_MAX), L"17592186044416 МБ");
}

} // namespace
