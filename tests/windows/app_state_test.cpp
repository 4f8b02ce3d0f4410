// The shared state's operations and the setup log, under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <windows.h>

#include "app/state.h"
#include "app/text.h"
#include "app/worker.h"
#include "engine/setup_log.h"

namespace {

std::string read_log() {
    std::ifstream in(setup_log_path().c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void wait_while_running() {
    for (int i = 0; i < 500 && g_workerState.load() == Running; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

class SetupLog : public ::testing::Test {
  protected:
    void SetUp() override { DeleteFileW(setup_log_path().c_str()); }
};

TEST_F(SetupLog, LinesAreAppendedAsUtf8WithCrLf) {
    append_log(L"первая «строка» — …");
    append_log(L"");
    append_log(L"third");
    EXPECT_EQ(read_log(), "первая «строка» — …\r\n\r\nthird\r\n");
    // Deleting the log between events is harmless.
    DeleteFileW(setup_log_path().c_str());
    append_log(L"again");
    EXPECT_EQ(read_log(), "again\r\n");
}

TEST_F(SetupLog, LogIsWrittenWhileAnotherProgramHoldsItOpenForReading) {
    HANDLE reader = CreateFileW(setup_log_path().c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    append_log(L"seen");
    CloseHandle(reader);
    EXPECT_EQ(read_log(), "seen\r\n");
}

TEST_F(SetupLog, NoTemporaryFolderMeansNoLine) {
    wchar_t saved[32768] = {};
    GetEnvironmentVariableW(L"TMP", saved, 32768);
    // A temporary folder longer than the 260-character buffer cannot be named.
    const std::wstring tooLong = L"C:\\" + std::wstring(300, L'a');
    SetEnvironmentVariableW(L"TMP", tooLong.c_str());
    EXPECT_TRUE(setup_log_path().empty());
    append_log(L"lost"); // must neither crash nor write somewhere undefined
    SetEnvironmentVariableW(L"TMP", saved);
    EXPECT_EQ(read_log(), "");
}

TEST_F(SetupLog, SetErrorStoresLogsThenFails) {
    g_workerState = Running;
    set_error(L"Нет связи с сайтом Кварталис.");
    EXPECT_EQ(g_workerState.load(), Failed);
    EXPECT_EQ(get_error(), L"Нет связи с сайтом Кварталис.");
    EXPECT_EQ(read_log(), "ОШИБКА: Нет связи с сайтом Кварталис.\r\n");
}

TEST_F(SetupLog, WorkerWithoutAPipelineEndsFailedWithAMessage) {
    g_runMode = Install;
    g_workerState = Idle;
    g_cancelRequested = true;
    start_worker();
    wait_while_running();
    EXPECT_EQ(g_workerState.load(), Failed);
    EXPECT_FALSE(g_cancelRequested.load()); // a run starts with the cancel request cleared
    EXPECT_FALSE(get_error().empty());
    EXPECT_EQ(read_log().rfind("ОШИБКА: ", 0), 0u);

    start_worker(); // the retry from Failed
    wait_while_running();
    EXPECT_EQ(g_workerState.load(), Failed);
}

TEST_F(SetupLog, SecondStartWhileRunningDoesNothing) {
    g_workerState = Running;
    start_worker();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(g_workerState.load(), Running);
    EXPECT_EQ(read_log(), ""); // no worker ran, so nothing failed
    g_workerState = Idle;
}

TEST(SharedState, ProgressAndVersionAreSafeAcrossThreads) {
    g_bytesDone = 0;
    std::thread other([] {
        for (int i = 0; i < 10000; ++i)
            add_bytes_done(3);
        set_installed_version("2.0");
    });
    for (int i = 0; i < 10000; ++i)
        add_bytes_done(1);
    (void)get_installed_version();
    other.join();
    EXPECT_EQ(g_bytesDone.load(), 40000u);
    EXPECT_EQ(add_bytes_done(0), 40000u);
    EXPECT_EQ(get_installed_version(), "2.0");
}

} // namespace
