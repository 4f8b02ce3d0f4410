// Setup's entry point: a Windows GUI program with a wide entry.
#include <windows.h>

#include "base/optional_api.h"
#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything can load a DLL by name; the static imports are KnownDLLs only.
    restrict_dll_search();
    end_process(run_setup(instance));
}
