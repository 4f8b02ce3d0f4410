// Setup's entry point: a Windows GUI program with a wide entry.
#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    end_process(run_setup(instance));
}
