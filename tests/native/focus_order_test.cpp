// The keyboard order of every page of the gallery: which controls take the focus, in which
// order, and how Tab and Shift+Tab walk it.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/windows/ui_pages.h"
#include "ui/control_ids.h"
#include "ui/page_rules.h"

namespace {

using Order = std::vector<int32_t>;

// Every page of the gallery's list; a page missing here fails the test. A first installation
// offers "Изменить…", rows 101 to 104 (the core row has no id), its two options, then the
// buttons from the left; while a worker runs only "Отмена" acts; after a failure "Изменить…"
// is skipped (the folder changes only before any run).
const Order kFirst = {3, 101, 102, 103, 104, 4, 5, 2, 1};
const Order kFirstFailed = {101, 102, 103, 104, 4, 5, 2, 1};
const Order kChange = {101, 102, 103, 104, 5, 2, 1};
const Order kButtons = {2, 1}, kCancel = {2}, kUninstall = {6, 2, 1};
const std::map<std::string, Order> kExpected = {
    {"install-first-idle", kFirst},
    {"install-first-idle-catalog", kFirst},
    {"install-first-running", kCancel},
    {"install-first-running-no-total", kCancel},
    {"install-first-running-overfull", kCancel},
    {"install-first-failed-progress", kButtons},
    {"install-first-failed-no-progress", kFirstFailed},
    {"install-first-done", kButtons},
    {"install-change-idle-apply", kChange},
    {"install-change-idle-update", kChange},
    {"install-change-idle-no-catalog", kChange},
    {"install-change-failed", kChange},
    {"update-idle", kButtons},
    {"update-running", kCancel},
    {"update-failed-progress", kButtons},
    {"update-failed-no-progress", kButtons},
    {"update-done", kButtons},
    {"uninstall-idle", kUninstall},
    {"uninstall-running", kCancel},
    {"uninstall-failed", kUninstall},
    {"uninstall-done", {1}},
    {"hover-primary", kFirst},
    {"pressed-primary-mouse-away", kFirst},
    {"hover-secondary-choose-folder", kFirst},
    {"hover-unchecked-row-and-box", kFirst},
    {"hover-danger", kUninstall},
    {"pressed-danger", kUninstall},
    {"long-folder-path", kFirst},
    {"focus-primary-button", kFirst},
    {"focus-checked-box", kFirst},
    {"focus-unchecked-row", kFirst},
    {"focus-cancel-running", kCancel},
};

TEST(FocusOrder, EveryPageOffersItsActingControlsTopToBottomThenButtonsFromTheLeft) {
    for (const PageSetup& page : kPages) {
        const auto expected = kExpected.find(page.name);
        ASSERT_NE(expected, kExpected.end()) << "no expected order for " << page.name;
        const Page kind = choose_page(page.mode, page.state, page.bytesDone, page.bytesTotal);
        EXPECT_EQ(focus_order(page.mode, page.state, kind, page.installedVersion[0] == 0),
                  expected->second)
            << page.name;
    }
}

TEST(FocusOrder, TabAndShiftTabWrapAroundAndStartFromNothing) {
    const Order order = {3, 101, 2, 1};
    const struct {
        int32_t from;
        bool forward;
        int32_t to;
    } cases[] = {
        {kNoControl, true, 3}, {kNoControl, false, 1}, {3, true, 101},  {2, true, 1},
        {1, true, 3},          {3, false, 1},          {101, false, 3}, {104, true, 3},
        {104, false, 1}, // a control the page no longer has counts as none
    };
    for (const auto& c : cases)
        EXPECT_EQ(next_focus(order, c.from, c.forward), c.to)
            << c.from << (c.forward ? " Tab" : " Shift+Tab");
    EXPECT_EQ(next_focus({}, kNoControl, true), kNoControl);
    EXPECT_EQ(next_focus({2}, 2, false), 2);
}

} // namespace
