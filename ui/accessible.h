#pragma once
// What a screen reader reads: the client area's IAccessible (Microsoft Active Accessibility),
// answered from the last painted frame, and the events that tell a reader what changed.
// Window thread only.
#include <cstdint>

#include <windows.h>

// IID_IAccessible, spelled out: mingw's from liboleacc is an import thunk when its address is
// taken, not the GUID.
extern const IID kIidAccessible;

// WM_GETOBJECT: for OBJID_CLIENT, the client area's object through LresultFromObject (made on
// the first request and kept while the window lives); any other object the default answer.
LRESULT answer_get_object(HWND window, WPARAM wParam, LPARAM lParam);

// WM_DESTROY: the window's object answers RPC_E_DISCONNECTED from now on; it lives on while a
// client still holds it.
void disconnect_accessible(HWND window);

// Raises the events for what differs between the last painted frame and the one announced
// before it: a new page, the focus, a check box, an error, and (at most once a second) the
// status and the progress figures. Cheap when nothing changed; called after each paint and on
// each tick, so a change held back by the one-second limit is told on a later tick.
void announce_changes(HWND window, uint64_t nowMs);
