#include "app/command_line.h"

#include <cstdint>

#include "base/state.h"

namespace {

// Leading decimal digits; 0 when there are none. A number too large for a process id
// saturates rather than wrapping into some other process's id.
uint32_t leading_number(const std::wstring& text) {
    uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') break;
        value = value * 10 + static_cast<uint64_t>(c - L'0');
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

} // namespace

void parse_command_line(const std::vector<std::wstring>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == L"/update") {
            g_runMode = Update;
        } else if (a == L"/uninstall") {
            g_runMode = Uninstall;
        } else if (a == L"/pid" && hasValue) {
            g_waitPid = leading_number(args[++i]);
        } else if (a == L"/dir" && hasValue) {
            g_installDir = args[++i];
        } else if (a == L"/auto") {
            g_autoMode = true;
            g_desktopShortcut = false;
            g_launchAfterInstall = false;
        }
    }
}

std::wstring handover_arguments() {
    std::wstring text;
    if (g_runMode == Update) text = L"/update";
    if (g_runMode == Uninstall) text = L"/uninstall";
    if (g_waitPid != 0) text += L" /pid " + std::to_wstring(g_waitPid);
    if (g_autoMode) text += L" /auto";
    return text;
}

// Backslashes are literal to CommandLineToArgvW except in front of a quote, where 2n of them
// stand for n; so double every run that precedes a quote, including the closing one.
std::wstring quote_argument(const std::wstring& arg) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
        } else {
            out.append(backslashes, L'\\');
        }
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}
