#include <gtest/gtest.h>

#include "app/command_line.h"
#include "base/state.h"

namespace {

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        g_runMode = Install;
        g_autoMode = false;
        g_waitPid = 0;
        g_installDir.clear();
        g_desktopShortcut = true;
        g_launchAfterInstall = true;
    }
};

TEST_F(CommandLine, SwitchesMatchExactlyWithCase) {
    parse_command_line({L"/UPDATE", L"-update", L"/update ", L"update", L"/Uninstall"});
    EXPECT_EQ(g_runMode, Install);
    parse_command_line({L"/update"});
    EXPECT_EQ(g_runMode, Update);
}

TEST_F(CommandLine, LaterModeWins) {
    parse_command_line({L"/update", L"/uninstall"});
    EXPECT_EQ(g_runMode, Uninstall);
    parse_command_line({L"/uninstall", L"/update"});
    EXPECT_EQ(g_runMode, Update);
}

TEST_F(CommandLine, PidTakesLeadingDigits) {
    parse_command_line({L"/pid", L"12abc"});
    EXPECT_EQ(g_waitPid, 12u);
    parse_command_line({L"/pid", L"abc"});
    EXPECT_EQ(g_waitPid, 0u);
    parse_command_line({L"/pid", L"-5"});
    EXPECT_EQ(g_waitPid, 0u);
    parse_command_line({L"/pid", L"99999999999999"});
    EXPECT_EQ(g_waitPid, UINT32_MAX);
}

TEST_F(CommandLine, ValueIsConsumedEvenWhenItLooksLikeASwitch) {
    parse_command_line({L"/dir", L"/update"});
    EXPECT_EQ(g_installDir, L"/update");
    EXPECT_EQ(g_runMode, Install);
    parse_command_line({L"/pid", L"/uninstall"});
    EXPECT_EQ(g_waitPid, 0u);
    EXPECT_EQ(g_runMode, Install);
}

TEST_F(CommandLine, SwitchWithoutValueAtTheEndIsIgnored) {
    parse_command_line({L"/update", L"/pid"});
    EXPECT_EQ(g_waitPid, 0u);
    EXPECT_EQ(g_runMode, Update);
    parse_command_line({L"/dir"});
    EXPECT_TRUE(g_installDir.empty());
}

TEST_F(CommandLine, AutoClearsBothOptions) {
    parse_command_line({L"/auto"});
    EXPECT_TRUE(g_autoMode);
    EXPECT_FALSE(g_desktopShortcut);
    EXPECT_FALSE(g_launchAfterInstall);
}

TEST_F(CommandLine, HandoverArgumentsRepeatTheJob) {
    EXPECT_EQ(handover_arguments(), L"");
    parse_command_line({L"/auto"});
    EXPECT_EQ(handover_arguments(), L" /auto");
    parse_command_line({L"/update", L"/pid", L"4242"});
    EXPECT_EQ(handover_arguments(), L"/update /pid 4242 /auto");
    g_autoMode = false;
    g_runMode = Uninstall;
    g_waitPid = 0;
    EXPECT_EQ(handover_arguments(), L"/uninstall");
}

TEST(QuoteArgument, KeepsTrailingBackslashesLiteral) {
    EXPECT_EQ(quote_argument(L"D:\\Apps\\"), L"\"D:\\Apps\\\\\"");
    EXPECT_EQ(quote_argument(L"C:\\Program Files\\X"), L"\"C:\\Program Files\\X\"");
    EXPECT_EQ(quote_argument(L""), L"\"\"");
    EXPECT_EQ(quote_argument(L"a\\\\"), L"\"a\\\\\\\\\"");
    EXPECT_EQ(quote_argument(L"a\"b"), L"\"a\\\"b\"");
}

} // namespace
