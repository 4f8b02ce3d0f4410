#include "transport/http.h"

#include "base/build_constants.h"
#include "transport/transfer_control.h"
#include "transport/transport_handles.h"

#include <algorithm>
#include <new>
#include <string>

namespace {

// The Content-Length header as a number; false when there is none or it is not a number.
// Read as text: Wine does not answer the 64-bit number form of the query.
bool content_length(HINTERNET request, uint64_t& length) {
    wchar_t text[32] = {};
    DWORD size = sizeof text;
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                             text, &size, WINHTTP_NO_HEADER_INDEX) ||
        text[0] == L'\0')
        return false;
    length = 0;
    for (const wchar_t* c = text; *c; ++c) {
        if (*c < L'0' || *c > L'9' || length > (UINT64_MAX - 9) / 10) return false;
        length = length * 10 + static_cast<uint64_t>(*c - L'0');
    }
    return true;
}

// Not in every SDK's headers: the option and flag that ask WinHTTP for HTTP/2 (Windows 10
// 1607 and later; older systems refuse the option, which is harmless).
#ifndef WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL
#define WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL 133
#endif
#ifndef WINHTTP_PROTOCOL_FLAG_HTTP2
#define WINHTTP_PROTOCOL_FLAG_HTTP2 0x1
#endif

// Room for `needed` bytes: at least double the capacity, so that a body of unknown length is not
// copied once per chunk, yet never more than one byte past the bound.
void make_room(std::string& body, size_t needed, uint64_t max_body) {
    if (needed <= body.capacity()) return;
    const uint64_t cap = max_body == kNoBodyLimit ? kNoBodyLimit : max_body + 1;
    body.reserve(static_cast<size_t>(
        std::max<uint64_t>(needed, std::min<uint64_t>(uint64_t{body.capacity()} * 2, cap))));
}

// The request of one transfer, closed when it goes unless a stop closed it first.
class Request {
  public:
    Request(TransferControl& control, HINTERNET connection, const std::wstring& path)
        : control_(control), handle_(control.open_request(connection, path)) {}
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    ~Request() {
        if (handle_) control_.close_request(handle_);
    }
    HINTERNET get() const { return handle_; }

  private:
    TransferControl& control_;
    HINTERNET handle_;
};

// True when the 206 answer's Content-Range starts at `from` ("bytes FROM-LAST/TOTAL").
bool range_starts_at(HINTERNET request, uint64_t from) {
    wchar_t text[96] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_RANGE, WINHTTP_HEADER_NAME_BY_INDEX,
                             text, &size, WINHTTP_NO_HEADER_INDEX))
        return false;
    const std::wstring expected = L"bytes " + std::to_wstring(from) + L"-";
    return std::wstring(text).compare(0, expected.size(), expected) == 0;
}

// Sends the request and reads the body. With a start in `body`, asks for the rest (see
// http_get_rest).
bool fetch(HINTERNET connection, const std::wstring& path, std::string& body,
           TransferControl& control, uint64_t max_body, bool& continued) {
    const Request request(control, connection, path);
    if (!request.get()) return false;
    const uint64_t from = body.size();
    const std::wstring range = L"Range: bytes=" + std::to_wstring(from) + L"-";
    if (!WinHttpSendRequest(request.get(), from ? range.c_str() : WINHTTP_NO_ADDITIONAL_HEADERS,
                            from ? static_cast<DWORD>(-1L) : 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return false;

    // Preset so that a failed query reads as "not 200".
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                        WINHTTP_NO_HEADER_INDEX);
    if (from && status == 206) {
        if (!range_starts_at(request.get(), from)) return false;
        continued = true;
    } else if (status == 200) {
        body.clear(); // a server without ranges sends the whole
    } else {
        return false;
    }

    // Wine's WinHTTP takes a connection closed in the middle of the body for its end; the
    // announced length, when there is one, tells a complete body from a cut one.
    uint64_t announced = 0;
    const bool lengthKnown = content_length(request.get(), announced);
    const uint64_t start = body.size();
    if (lengthKnown) announced = announced > UINT64_MAX - start ? UINT64_MAX : start + announced;
    // One allocation for the whole body when the caller's bound vouches for the length; an
    // unbounded or over-long announcement is never trusted with memory.
    if (lengthKnown && max_body != kNoBodyLimit && announced <= max_body)
        body.reserve(static_cast<size_t>(announced));

    for (;;) {
        if (control.stopped_or_cancelled()) return false;
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request.get(), &available)) return false;
        if (available == 0) return !lengthKnown || body.size() == announced;
        // Never read more than one byte past the bound: that byte is enough to refuse the body.
        // The body is within the bound here (checked after each read), so this cannot wrap.
        if (max_body != kNoBodyLimit && available > max_body - body.size() + 1)
            available = static_cast<DWORD>(max_body - body.size() + 1);
        const size_t oldSize = body.size();
        make_room(body, oldSize + available, max_body);
        body.resize(oldSize + available);
        DWORD read = 0;
        const BOOL ok = WinHttpReadData(request.get(), body.data() + oldSize, available, &read);
        body.resize(oldSize + read);
        if (!ok) return false;
        control.count(read);
        if (body.size() > max_body) return false;
    }
}

} // namespace

bool open_http_session(HttpSession& out) {
    out.connection.reset();
    out.session.reset(WinHttpOpen(L"plannix-setup/1.0", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                  WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!out.session) return false;
    // Many requests in flight share one HTTP/2 connection where there is one; a system or
    // server without it answers over HTTP/1.1 as before, so a refusal is ignored.
    DWORD protocols = WINHTTP_PROTOCOL_FLAG_HTTP2;
    WinHttpSetOption(out.session.get(), WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL, &protocols,
                     sizeof protocols);
    out.connection.reset(WinHttpConnect(out.session.get(), kServerHost, kServerPort, 0));
    return static_cast<bool>(out.connection);
}

bool http_get(const HttpSession& net, const std::wstring& path, std::string& body,
              TransferControl& control, uint64_t max_body) {
    body.clear();
    bool continued = false;
    return http_get_rest(net, path, body, control, max_body, continued);
}

bool http_get_rest(const HttpSession& net, const std::wstring& path, std::string& body,
                   TransferControl& control, uint64_t max_body, bool& continued) {
    continued = false;
    if (body.size() > max_body) return false;
    bool complete = false;
    try {
        complete =
            net.connection && fetch(net.connection.get(), path, body, control, max_body, continued);
    } catch (const std::bad_alloc&) {
        // A body larger than memory fails like any other broken transfer.
    }
    // A cancel or a stop that arrived during the last chunk still wins.
    return complete && !control.stopped_or_cancelled();
}
