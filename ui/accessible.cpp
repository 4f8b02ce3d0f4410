#include "ui/accessible.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <oleacc.h>

#include "ui/control_ids.h"
#include "ui/frame_elements.h"
#include "ui/paint.h"
#include "ui/window_proc.h"

const IID kIidAccessible = {
    0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

namespace {

const wchar_t kPress[] = L"Нажать";
const wchar_t kCheck[] = L"Установить флажок";
const wchar_t kUncheck[] = L"Снять флажок";

constexpr uint64_t kNameValueEventPeriodMs =
    1000; // a reader is told of new figures at most this often

bool is_control(ElementRole role) {
    return role == ElementRole::PushButton || role == ElementRole::CheckButton;
}

LONG msaa_role(ElementRole role) {
    switch (role) {
    case ElementRole::Alert:
        return ROLE_SYSTEM_ALERT;
    case ElementRole::PushButton:
        return ROLE_SYSTEM_PUSHBUTTON;
    case ElementRole::CheckButton:
        return ROLE_SYSTEM_CHECKBUTTON;
    case ElementRole::ProgressBar:
        return ROLE_SYSTEM_PROGRESSBAR;
    case ElementRole::Text:
        break;
    }
    return ROLE_SYSTEM_STATICTEXT;
}

// A text answer: S_FALSE with no string when there is none.
HRESULT answer_text(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

void answer_child(VARIANT* out, LONG child) {
    VariantInit(out);
    out->vt = VT_I4;
    out->lVal = child;
}

// The client area's object. Every call is answered on the window thread from the last painted
// frame; child n (1-based) is the frame's element n - 1 in reading order.
class ClientAccessible final : public IAccessible {
  public:
    explicit ClientAccessible(HWND window) : window_(window), thread_(GetCurrentThreadId()) {}

    HWND window() const { return window_; }
    void disconnect() { connected_ = false; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, kIidAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: no type information; clients call the interface directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (!parent) return E_POINTER;
        *parent = nullptr;
        return CreateStdAccessibleObject(window_, OBJID_WINDOW, kIidAccessible,
                                         reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(frame().elements.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (!out) return E_POINTER;
        *out = nullptr;
        // The children are simple elements: no objects of their own.
        return element(child) ? S_FALSE : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (is_self(child)) {
            wchar_t title[256] = {};
            GetWindowTextW(window_, title, 256);
            return answer_text(title, name);
        }
        const FrameElement* e = element(child);
        return e ? answer_text(e->name, name) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (is_self(child)) return answer_text({}, value);
        const FrameElement* e = element(child);
        return e ? answer_text(e->value, value) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (is_self(child)) return answer_text({}, description);
        const FrameElement* e = element(child);
        return e ? answer_text(e->description, description) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (!role) return E_POINTER;
        if (is_self(child)) {
            answer_child(role, ROLE_SYSTEM_CLIENT);
            return S_OK;
        }
        const FrameElement* e = element(child);
        if (!e) return E_INVALIDARG;
        answer_child(role, msaa_role(e->role));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (!state) return E_POINTER;
        if (is_self(child)) {
            answer_child(state, STATE_SYSTEM_FOCUSABLE |
                                    (GetFocus() == window_ && frame().focusId == kNoControl
                                         ? STATE_SYSTEM_FOCUSED
                                         : 0));
            return S_OK;
        }
        const FrameElement* e = element(child);
        if (!e) return E_INVALIDARG;
        LONG bits = 0;
        if (is_control(e->role)) {
            bits |= e->canAct ? STATE_SYSTEM_FOCUSABLE : STATE_SYSTEM_UNAVAILABLE;
            if (e->id != kNoControl && e->id == frame().focusId) bits |= STATE_SYSTEM_FOCUSED;
            if (e->checked) bits |= STATE_SYSTEM_CHECKED;
            if (e->id == kPrimaryButton) bits |= STATE_SYSTEM_DEFAULT; // what Enter presses
        } else {
            bits |= STATE_SYSTEM_READONLY;
        }
        answer_child(state, bits);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* help) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        return answer_text({}, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (file) *file = nullptr;
        if (topic) *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* shortcut) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        return answer_text({}, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (!focus) return E_POINTER;
        VariantInit(focus);
        const int index = element_of_control(frame(), frame().focusId);
        if (index >= 0) {
            answer_child(focus, index + 1);
            return S_OK;
        }
        if (GetFocus() != window_) return S_FALSE; // VT_EMPTY: the focus is elsewhere
        answer_child(focus, CHILDID_SELF);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (!selection) return E_POINTER;
        VariantInit(selection);
        return S_FALSE; // nothing here is selectable
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (is_self(child)) return answer_text({}, action);
        const FrameElement* e = element(child);
        if (!e) return E_INVALIDARG;
        if (e->role == ElementRole::PushButton) return answer_text(kPress, action);
        if (e->role == ElementRole::CheckButton)
            return answer_text(e->checked ? kUncheck : kCheck, action);
        return answer_text({}, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        const FrameElement* e = element(child);
        if (!e) return E_INVALIDARG;
        // Only the focus can be taken: nothing here is selected.
        if (flags != SELFLAG_TAKEFOCUS) return DISP_E_MEMBERNOTFOUND;
        if (!is_control(e->role) || !e->canAct) return S_FALSE;
        focus_control(window_, e->id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                                          VARIANT child) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (!left || !top || !width || !height) return E_POINTER;
        RECT box = {};
        if (is_self(child)) {
            GetClientRect(window_, &box);
        } else if (const FrameElement* e = element(child)) {
            box = {static_cast<LONG>(std::floor(e->x)), static_cast<LONG>(std::floor(e->y)),
                   static_cast<LONG>(std::ceil(e->x + e->w)),
                   static_cast<LONG>(std::ceil(e->y + e->h))};
        } else {
            return E_INVALIDARG;
        }
        MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&box), 2);
        *left = box.left;
        *top = box.top;
        *width = box.right - box.left;
        *height = box.bottom - box.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (!end) return E_POINTER;
        VariantInit(end);
        const LONG count = static_cast<LONG>(frame().elements.size());
        LONG to = 0;
        if (is_self(start)) {
            if (direction == NAVDIR_FIRSTCHILD)
                to = 1;
            else if (direction == NAVDIR_LASTCHILD)
                to = count;
            else
                return S_FALSE; // the window's own neighbours are its frame's business
        } else {
            if (!element(start)) return E_INVALIDARG;
            if (direction == NAVDIR_NEXT)
                to = start.lVal + 1;
            else if (direction == NAVDIR_PREVIOUS)
                to = start.lVal - 1;
            else
                return S_FALSE;
        }
        if (to < 1 || to > count) return S_FALSE;
        answer_child(end, to);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* at) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        if (!at) return E_POINTER;
        VariantInit(at);
        POINT point = {x, y};
        ScreenToClient(window_, &point);
        RECT client = {};
        GetClientRect(window_, &client);
        if (!PtInRect(&client, point)) return S_FALSE;
        const auto& elements = frame().elements;
        const float px = static_cast<float>(point.x), py = static_cast<float>(point.y);
        LONG found = CHILDID_SELF;
        // A control wins over a text at the same place; among equals the last one.
        for (size_t n = 0; n < elements.size(); ++n) {
            const FrameElement& e = elements[n];
            if (px < e.x || px >= e.x + e.w || py < e.y || py >= e.y + e.h) continue;
            if (found == CHILDID_SELF || is_control(e.role) ||
                !is_control(elements[size_t(found) - 1].role))
                found = static_cast<LONG>(n + 1);
        }
        answer_child(at, found);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        if (const HRESULT hr = usable(); hr != S_OK) return hr;
        const FrameElement* e = element(child);
        if (!e) return is_self(child) ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG;
        if (!is_control(e->role) || e->id == kNoControl) return DISP_E_MEMBERNOTFOUND;
        click_control(window_, e->id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

  private:
    ~ClientAccessible() = default;

    HRESULT usable() const {
        if (!connected_) return RPC_E_DISCONNECTED;
        if (GetCurrentThreadId() != thread_) return RPC_E_WRONG_THREAD;
        return S_OK;
    }
    static const FrameSnapshot& frame() { return last_frame(); }
    static bool is_self(const VARIANT& child) {
        return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
    }
    static const FrameElement* element(const VARIANT& child) {
        const auto& elements = frame().elements;
        if (child.vt != VT_I4 || child.lVal < 1 || size_t(child.lVal) > elements.size())
            return nullptr;
        return &elements[size_t(child.lVal) - 1];
    }

    LONG refs_ = 1;
    const HWND window_;
    const DWORD thread_;
    bool connected_ = true;
};

// Window thread only: the object of each window that was asked for one (Setup has one window),
// and the frame last told to screen readers with the time its figures were told.
std::vector<ClientAccessible*> g_clients;
struct Announced {
    FrameSnapshot frame;
    uint64_t figuresMs = 0;
};
Announced g_announced;

void notify(HWND window, DWORD event, LONG child) {
    NotifyWinEvent(event, window, OBJID_CLIENT, child);
}

bool same_children(const FrameSnapshot& a, const FrameSnapshot& b) {
    if (a.mode != b.mode || a.page != b.page || a.elements.size() != b.elements.size())
        return false;
    for (size_t n = 0; n < a.elements.size(); ++n)
        if (a.elements[n].role != b.elements[n].role || a.elements[n].id != b.elements[n].id)
            return false;
    return true;
}

} // namespace

LRESULT answer_get_object(HWND window, WPARAM wParam, LPARAM lParam) {
    if (static_cast<LONG>(lParam) != OBJID_CLIENT)
        return DefWindowProcW(window, WM_GETOBJECT, wParam, lParam);
    const auto found = std::find_if(g_clients.begin(), g_clients.end(),
                                    [&](ClientAccessible* c) { return c->window() == window; });
    ClientAccessible* client = found != g_clients.end() ? *found : nullptr;
    if (!client) {
        client = new ClientAccessible(window);
        g_clients.push_back(client);
    }
    return LresultFromObject(kIidAccessible, wParam, client);
}

void disconnect_accessible(HWND window) {
    const auto found = std::find_if(g_clients.begin(), g_clients.end(),
                                    [&](ClientAccessible* c) { return c->window() == window; });
    if (found == g_clients.end()) return;
    ClientAccessible* client = *found;
    g_clients.erase(found);
    client->disconnect();
    // Remote clients' proxies lose their stub; a client in this process keeps its reference.
    CoDisconnectObject(client, 0);
    client->Release();
}

void announce_changes(HWND window, uint64_t nowMs) {
    const FrameSnapshot& now = last_frame();
    Announced& told = g_announced;
    if (!now.painted) return;
    const int focus = element_of_control(now, now.focusId);
    if (!told.frame.painted || !same_children(told.frame, now)) {
        notify(window, EVENT_OBJECT_REORDER, CHILDID_SELF);
        for (size_t n = 0; n < now.elements.size(); ++n)
            if (now.elements[n].role == ElementRole::Alert)
                NotifyWinEvent(EVENT_SYSTEM_ALERT, window, OBJID_CLIENT, static_cast<LONG>(n + 1));
        if (focus >= 0) notify(window, EVENT_OBJECT_FOCUS, focus + 1);
        told.frame = now;
        told.figuresMs = nowMs;
        return;
    }
    if (now.focusId != told.frame.focusId && focus >= 0)
        notify(window, EVENT_OBJECT_FOCUS, focus + 1);
    told.frame.focusId = now.focusId;
    bool figuresChanged = false;
    for (size_t n = 0; n < now.elements.size(); ++n) {
        FrameElement& was = told.frame.elements[n];
        const FrameElement& is = now.elements[n];
        if (was.checked != is.checked || was.canAct != is.canAct)
            notify(window, EVENT_OBJECT_STATECHANGE, static_cast<LONG>(n + 1));
        was.checked = is.checked;
        was.canAct = is.canAct;
        was.x = is.x, was.y = is.y, was.w = is.w, was.h = is.h;
        figuresChanged = figuresChanged || was.name != is.name || was.value != is.value;
    }
    // The status and the figures change many times a second during a download: a reader hears
    // the latest of them once a second, not every one.
    if (!figuresChanged || nowMs < told.figuresMs + kNameValueEventPeriodMs) return;
    for (size_t n = 0; n < now.elements.size(); ++n) {
        FrameElement& was = told.frame.elements[n];
        const FrameElement& is = now.elements[n];
        if (was.name != is.name) notify(window, EVENT_OBJECT_NAMECHANGE, static_cast<LONG>(n + 1));
        if (was.value != is.value)
            notify(window, EVENT_OBJECT_VALUECHANGE, static_cast<LONG>(n + 1));
        was = is;
    }
    told.figuresMs = nowMs;
}
