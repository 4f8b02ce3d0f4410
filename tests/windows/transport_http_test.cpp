// http_get against the HTTPS test server on localhost (tools/testserver), whose faults for
// these paths are set in transport.cmake.
#include <gtest/gtest.h>

#include <windows.h>

#include <winhttp.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/build_constants.h"
#include "transport/http.h"
#include "transport/transfer_control.h"
#include "windows/test_files.h"

namespace {

std::string served(const std::string& name) {
    std::string bytes;
    EXPECT_TRUE(read_test_file(
        test_file_path("PLANNIX_TRANSPORT_FIXTURES", "release/plannix/app/" + name), bytes))
        << name;
    return bytes;
}

std::string request_log() {
    std::string log;
    EXPECT_TRUE(read_test_file(test_file_path("PLANNIX_TESTSERVER_LOG", ""), log));
    return log;
}

class Http : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(open_http_session(net)); }
    HttpSession net; // as a run has one
    std::atomic<bool> cancel{false};
    std::atomic<uint64_t> bytesDone{0};
    TransferControl counting{&cancel, &bytesDone}; // a run's transfers
    TransferControl quiet{&cancel};                // the manifest's: no progress
};

TEST_F(Http, Status200GivesTheWholeBody) {
    const std::string expected = served("body.bin");
    ASSERT_GT(expected.size(), 100000u); // more than one chunk
    std::string body = "left over from before";
    ASSERT_TRUE(http_get(net, L"/plannix/app/body.bin", body, quiet));
    EXPECT_TRUE(body == expected) << "got " << body.size() << " bytes of " << expected.size();
    EXPECT_EQ(bytesDone.load(), 0u) << "progress counted although not asked to";
}

TEST_F(Http, ProgressCountsEveryByteRead) {
    bytesDone = 1000;
    std::string body;
    ASSERT_TRUE(http_get(net, L"/plannix/app/body.bin", body, counting));
    EXPECT_EQ(bytesDone.load(), 1000u + served("body.bin").size());
}

TEST_F(Http, EmptyBodyIsASuccess) {
    std::string body = "x";
    EXPECT_TRUE(http_get(net, L"/plannix/app/empty.bin", body, counting));
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(bytesDone.load(), 0u);
}

TEST_F(Http, StatusOtherThan200FailsWithoutBody) {
    for (const wchar_t* path :
         {L"/plannix/app/missing.bin", L"/plannix/app/error.bin", L"/plannix/app/partial.bin"}) {
        std::string body = "x";
        EXPECT_FALSE(http_get(net, path, body, counting)) << path;
        EXPECT_TRUE(body.empty()) << path;
    }
    EXPECT_EQ(bytesDone.load(), 0u);
    const std::string log = request_log();
    EXPECT_NE(log.find("GET /plannix/app/missing.bin 404"), std::string::npos) << log;
    EXPECT_NE(log.find("GET /plannix/app/error.bin 500"), std::string::npos) << log;
    EXPECT_NE(log.find("GET /plannix/app/partial.bin 206"), std::string::npos) << log;
}

TEST_F(Http, CancelBeforeTheCallStillSendsTheRequest) {
    cancel = true;
    std::string body;
    EXPECT_FALSE(http_get(net, L"/plannix/app/before-cancel.bin", body, counting));
    EXPECT_TRUE(body.empty()) << "read although cancelled";
    EXPECT_EQ(bytesDone.load(), 0u);
    EXPECT_NE(request_log().find("GET /plannix/app/before-cancel.bin 200"), std::string::npos);
}

TEST_F(Http, CancelDuringASlowBodyKeepsTheCountSoFar) {
    const size_t full = served("slow.bin").size();
    std::atomic<bool> finished{false};
    // Cancels as soon as the first chunk has been counted, as the window would.
    std::thread canceller([&] {
        while (!finished.load() && bytesDone.load() == 0)
            Sleep(1);
        cancel = true;
    });
    std::string body;
    const bool ok = http_get(net, L"/plannix/app/slow.bin", body, counting);
    finished = true;
    canceller.join();
    EXPECT_FALSE(ok);
    EXPECT_GT(bytesDone.load(), 0u);
    EXPECT_LT(bytesDone.load(), full);
    EXPECT_EQ(body.size(), bytesDone.load());
}

TEST_F(Http, DroppedConnectionFails) {
    std::string body;
    EXPECT_FALSE(http_get(net, L"/plannix/app/dropped.bin", body, counting));
    // The bytes before the drop were read and counted.
    EXPECT_GE(body.size(), 20000u);
    EXPECT_LT(body.size(), served("dropped.bin").size());
    EXPECT_EQ(bytesDone.load(), body.size());
}

TEST_F(Http, BodyCutShortByAPlainCloseOrAResetFails) {
    for (const wchar_t* path : {L"/plannix/app/closed.bin", L"/plannix/app/reset.bin"}) {
        std::string body;
        EXPECT_FALSE(http_get(net, path, body, quiet));
        EXPECT_LT(body.size(), served("closed.bin").size());
    }
}

// A body may not outgrow what the caller allows (a blob's signed size): the transfer stops one
// byte past the bound, and a body within it is allocated once from Content-Length.
TEST_F(Http, BoundedBodyStopsOneBytePastTheBoundAndIsAllocatedOnce) {
    const size_t full = served("body.bin").size();
    std::string body;
    EXPECT_FALSE(http_get(net, L"/plannix/app/body.bin", body, counting, full - 1));
    EXPECT_EQ(body.size(), full);
    EXPECT_EQ(bytesDone.load(), full);
    EXPECT_FALSE(http_get(net, L"/plannix/app/body.bin", body, quiet, 1000));
    EXPECT_EQ(body.size(), 1001u);

    // Served in small pieces, so a body that was not reserved would grow in steps (from an odd
    // capacity, so that doubling cannot land on the exact size).
    const size_t slow = served("slow.bin").size();
    std::string exact(1000, 'x');
    ASSERT_TRUE(http_get(net, L"/plannix/app/slow.bin", exact, quiet, slow));
    EXPECT_EQ(exact.size(), slow);
    EXPECT_EQ(exact.capacity(), slow) << "the body grew in steps";
}

// A run shares one session between its transfer threads: every request gets its own whole body,
// and a fault on one path fails only that request.
TEST_F(Http, OneSessionServesRequestsFromSeveralThreadsAtOnce) {
    const std::string body = served("body.bin");
    const std::string slow = served("slow.bin");
    struct Request {
        std::wstring path;
        const std::string* expected; // null: must fail
        std::string got;
        bool ok = false;
    };
    std::vector<Request> requests;
    for (int i = 0; i < 12; ++i)
        requests.push_back({i % 3 == 2 ? L"/plannix/app/slow.bin" : L"/plannix/app/body.bin",
                            i % 3 == 2 ? &slow : &body,
                            {},
                            false});
    requests.push_back({L"/plannix/app/missing.bin", nullptr, {}, false});
    std::vector<std::thread> threads;
    for (Request& r : requests)
        threads.emplace_back([this, &r] { r.ok = http_get(net, r.path, r.got, counting); });
    for (std::thread& t : threads)
        t.join();
    uint64_t total = 0;
    for (size_t i = 0; i < requests.size(); ++i) {
        const Request& r = requests[i];
        SCOPED_TRACE(i);
        if (!r.expected) {
            EXPECT_FALSE(r.ok);
            continue;
        }
        EXPECT_TRUE(r.ok);
        EXPECT_TRUE(r.got == *r.expected) << "got " << r.got.size() << " bytes";
        total += r.expected->size();
    }
    EXPECT_EQ(bytesDone.load(), total); // every chunk of every transfer, and no more
}

// Status of a GET that skips the certificate checks, or 0 when the server cannot be reached.
DWORD status_ignoring_certificate(const wchar_t* path) {
    DWORD status = 0;
    HINTERNET session = WinHttpOpen(L"transport-test", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    HINTERNET connection = session ? WinHttpConnect(session, kServerHost, kServerPort, 0) : nullptr;
    HINTERNET request =
        connection ? WinHttpOpenRequest(connection, L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                        WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE)
                   : nullptr;
    DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                   SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
    DWORD size = sizeof status;
    if (request &&
        WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore) &&
        WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                           0) &&
        WinHttpReceiveResponse(request, nullptr))
        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    for (HINTERNET h : {request, connection, session})
        if (h) WinHttpCloseHandle(h);
    return status;
}

// Run in a prefix without the test CA (see transport.cmake): the server is there and answers,
// but http_get must refuse its certificate.
TEST_F(Http, TrustsOnlyCertificatesOfATrustedCa) {
    std::string body;
    EXPECT_FALSE(http_get(net, L"/plannix/app/body.bin", body, counting));
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(bytesDone.load(), 0u);
    EXPECT_EQ(request_log().find("/plannix/app/body.bin"), std::string::npos)
        << "the request went through an untrusted connection";
    EXPECT_EQ(status_ignoring_certificate(L"/plannix/app/empty.bin"), 200u);
}

} // namespace
