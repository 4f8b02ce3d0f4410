// Test helper: reads Setup's window as a screen reader does, from another process, through
// Microsoft Active Accessibility, and prints one JSON line.
//   read_accessible.exe [--do CHILD] [--focus CHILD] [--hold]
// --do runs a child's default action, --focus asks it to take the focus (both before the
// tree is read). --hold keeps the object after reading, waits for the window to go (up to
// 60 s) and then reports what a call on the held object answers. Exit code 0 when the window
// and its client object were found.
#include <cstdio>
#include <string>

#include <windows.h>
#include <oleacc.h>

#include "tests/windows/helpers/json_text.h"

namespace {

const IID kIidAccessible = {
    0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

VARIANT child_id(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

// A BSTR answer as a JSON string, or null when there is none.
template <typename Call> std::string text_of(Call call) {
    BSTR text = nullptr;
    const HRESULT hr = call(&text);
    std::string out = "null";
    if (hr == S_OK && text) out = json_string(std::wstring(text, SysStringLen(text)));
    SysFreeString(text);
    return out;
}

// A VARIANT answer: its number when VT_I4, else -1 (nothing, or an object).
LONG number_of(const VARIANT& v) {
    return v.vt == VT_I4 ? v.lVal : -1;
}

std::string child_json(IAccessible* acc, LONG id) {
    const VARIANT child = child_id(id);
    VARIANT role, state, next;
    VariantInit(&role);
    VariantInit(&state);
    VariantInit(&next);
    acc->get_accRole(child, &role);
    acc->get_accState(child, &state);
    acc->accNavigate(NAVDIR_NEXT, child, &next);
    LONG x = 0, y = 0, w = 0, h = 0;
    acc->accLocation(&x, &y, &w, &h, child);
    // What the screen point at the middle of the child's place belongs to.
    VARIANT hit;
    VariantInit(&hit);
    acc->accHitTest(x + w / 2, y + h / 2, &hit);
    char numbers[200];
    std::snprintf(numbers, sizeof(numbers),
                  "\"role\": %ld, \"state\": %ld, \"location\": [%ld, %ld, %ld, %ld], "
                  "\"next\": %ld, \"hit\": %ld",
                  number_of(role), number_of(state), x, y, w, h, number_of(next),
                  number_of(hit));
    VariantClear(&hit);
    VariantClear(&next);
    return std::string("{") + numbers +
           ", \"name\": " + text_of([&](BSTR* t) { return acc->get_accName(child, t); }) +
           ", \"description\": " +
           text_of([&](BSTR* t) { return acc->get_accDescription(child, t); }) +
           ", \"value\": " + text_of([&](BSTR* t) { return acc->get_accValue(child, t); }) +
           ", \"action\": " +
           text_of([&](BSTR* t) { return acc->get_accDefaultAction(child, t); }) + "}";
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND window = nullptr;
    for (int i = 0; i < 300 && !(window = FindWindowW(L"PlannixSetup", nullptr)); ++i)
        Sleep(50);
    IAccessible* acc = nullptr;
    if (!window || FAILED(AccessibleObjectFromWindow(window, OBJID_CLIENT, kIidAccessible,
                                                     reinterpret_cast<void**>(&acc))) ||
        !acc) {
        std::printf("{\"found\": false}\n");
        return 1;
    }
    bool hold = false;
    std::string acted;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--hold") hold = true;
        if ((arg == L"--do" || arg == L"--focus") && i + 1 < argc) {
            const VARIANT child = child_id(wcstol(argv[++i], nullptr, 10));
            const HRESULT hr = arg == L"--do" ? acc->accDoDefaultAction(child)
                                              : acc->accSelect(SELFLAG_TAKEFOCUS, child);
            acted += (acted.empty() ? "" : ", ") + std::to_string(static_cast<long>(hr));
        }
    }
    LONG count = 0;
    acc->get_accChildCount(&count);
    VARIANT focus;
    VariantInit(&focus);
    acc->get_accFocus(&focus);
    std::string children;
    for (LONG id = 1; id <= count; ++id)
        children += (id > 1 ? ", " : "") + child_json(acc, id);
    LONG x = 0, y = 0, w = 0, h = 0;
    acc->accLocation(&x, &y, &w, &h, child_id(CHILDID_SELF));
    std::printf("{\"found\": true, \"acted\": [%s], \"count\": %ld, \"focus\": %ld, "
                "\"client\": [%ld, %ld, %ld, %ld], \"children\": [%s]}\n",
                acted.c_str(), count, number_of(focus), x, y, w, h, children.c_str());
    std::fflush(stdout);
    VariantClear(&focus);
    if (hold) {
        for (int i = 0; i < 1200 && IsWindow(window); ++i)
            Sleep(50);
        LONG after = 0;
        const HRESULT hr = acc->get_accChildCount(&after);
        std::printf("{\"gone\": %s, \"after\": %ld}\n", IsWindow(window) ? "false" : "true",
                    static_cast<long>(hr));
        std::fflush(stdout);
    }
    acc->Release();
    CoUninitialize();
    return 0;
}
