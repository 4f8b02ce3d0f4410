// The shared state's operations and the setup log, under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <windows.h>

#include "base/state.h"
#include "base/text.h"
#include "app/worker.h"
#include "base/setup_log.h"

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

// Guards a check that could not fail: any error text passed, the safety net's generic one too.
TEST_F(SetupLog, WorkerWithoutAServerEndsFailedWithTheConnectionMessage) {
    const std::wstring message = L"Нет связи с сайтом Кварталис. Проверьте интернет и повторите.";
    g_runMode = Install;
    g_workerState = Idle;
    g_cancelRequested = true;
    start_worker();
    wait_while_running();
    EXPECT_EQ(g_workerState.load(), Failed);
    EXPECT_FALSE(g_cancelRequested.load()); // a run starts with the cancel request cleared
    EXPECT_EQ(get_error(), message);
    EXPECT_EQ(read_log(), "ОШИБКА: " + utf8_from_wide(message) + "\r\n");

    start_worker(); // the retry from Failed
    wait_while_running();
    EXPECT_EQ(g_workerState.load(), Failed);
    EXPECT_EQ(get_error(), message);
}

TEST_F(SetupLog, SecondStartWhileRunningDoesNothing) {
    g_workerState = Running;
    start_worker();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(g_workerState.load(), Running);
    EXPECT_EQ(read_log(), ""); // no worker ran, so nothing failed
    g_workerState = Idle;
}

// The safety net ends only its own unended run: once its run has returned, the shared state may be
// a retry's, started in between, which is neither marked failed nor joined by a second worker.
TEST_F(SetupLog, SafetyNetEndsOnlyItsOwnUnendedRun) {
    struct Case {
        const char* what;
        void (*body)();
        WorkerState state;    // after the body has returned
        const wchar_t* error; // g_errorText then
    };
    static const Case cases[] = {
        {"a body that returns without ending its run", [] {}, Failed, L"generic"},
        {"a body that throws", [] { throw std::runtime_error("boom"); }, Failed, L"generic"},
        {"a body that ends Done", [] { g_workerState.exchange(Done); }, Done, L"before"},
        {"a body that fails with its own message", [] { set_error(L"своё"); }, Failed, L"своё"},
        // The window's retry lands between the body's failure and the net's check.
        {"a retry started before the net looks",
         [] {
             set_error(L"своё");
             begin_worker_run();
         },
         Running, L"своё"},
    };
    for (const Case& c : cases) {
        {
            std::lock_guard<std::mutex> lock(g_stateLock);
            g_errorText = L"before";
        }
        const uint64_t run = begin_worker_run();
        run_worker_body(c.body, run, L"generic");
        EXPECT_EQ(g_workerState.load(), c.state) << c.what;
        EXPECT_EQ(get_error(), c.error) << c.what;
    }
    g_workerState = Idle;
}

} // namespace
