// Test helper: reads Setup's window from another process as a screen reader does, through
// Microsoft Active Accessibility, and prints one JSON line.
//   read_accessible.exe [--do CHILD]...   each child's default action first, then the reading
// Exit code 0 when the window's client object was read.
#include <cstdio>
#include <string>

#include <windows.h>
#include <oleacc.h>

#include "tests/windows/helpers/json_text.h"
#include "ui/accessible.h"

namespace {

VARIANT child_id(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

// A VARIANT answer's number, -1 when it holds none.
LONG number(const VARIANT& v) {
    return v.vt == VT_I4 ? v.lVal : -1;
}

// A text answer as a JSON string, null when there is none.
std::string text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), IAccessible* acc,
                 LONG id) {
    BSTR value = nullptr;
    const bool got = (acc->*get)(child_id(id), &value) == S_OK && value;
    const std::string out = got ? json_string(std::wstring(value, SysStringLen(value))) : "null";
    SysFreeString(value);
    return out;
}

std::string child_json(IAccessible* acc, LONG id) {
    VARIANT role = {}, state = {}, next = {}, hit = {};
    LONG x = 0, y = 0, w = 0, h = 0;
    acc->get_accRole(child_id(id), &role);
    acc->get_accState(child_id(id), &state);
    acc->accNavigate(NAVDIR_NEXT, child_id(id), &next);
    acc->accLocation(&x, &y, &w, &h, child_id(id));
    acc->accHitTest(x + w / 2, y + h / 2, &hit); // what the middle of its place belongs to
    char numbers[200];
    std::snprintf(numbers, sizeof(numbers),
                  "{\"role\": %ld, \"state\": %ld, \"location\": [%ld, %ld, %ld, %ld], "
                  "\"next\": %ld, \"hit\": %ld",
                  number(role), number(state), x, y, w, h, number(next), number(hit));
    return numbers + (", \"name\": " + text(&IAccessible::get_accName, acc, id)) +
           ", \"description\": " + text(&IAccessible::get_accDescription, acc, id) +
           ", \"value\": " + text(&IAccessible::get_accValue, acc, id) +
           ", \"action\": " + text(&IAccessible::get_accDefaultAction, acc, id) + "}";
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND window = nullptr;
    for (int i = 0; i < 300 && !(window = FindWindowW(L"PlannixSetup", nullptr)); ++i)
        Sleep(50);
    IAccessible* acc = nullptr;
    if (!window || AccessibleObjectFromWindow(window, OBJID_CLIENT, kIidAccessible,
                                              reinterpret_cast<void**>(&acc)) != S_OK) {
        std::printf("{\"found\": false}\n");
        return 1;
    }
    std::string acted;
    for (int i = 1; i + 1 < argc; i += 2)
        acted +=
            (acted.empty() ? "" : ", ") +
            std::to_string(acc->accDoDefaultAction(child_id(wcstol(argv[i + 1], nullptr, 10))));
    LONG count = 0, x = 0, y = 0, w = 0, h = 0;
    VARIANT focus = {};
    acc->get_accChildCount(&count);
    acc->get_accFocus(&focus);
    acc->accLocation(&x, &y, &w, &h, child_id(CHILDID_SELF));
    std::string children;
    for (LONG id = 1; id <= count; ++id)
        children += (id > 1 ? ", " : "") + child_json(acc, id);
    std::printf("{\"found\": true, \"acted\": [%s], \"focus\": %ld, \"client\": [%ld, %ld, %ld, "
                "%ld], \"children\": [%s]}\n",
                acted.c_str(), number(focus), x, y, w, h, children.c_str());
    std::fflush(stdout); // the reading stands even if the proxy's teardown below goes wrong
    acc->Release();
    CoUninitialize();
    return 0;
}
