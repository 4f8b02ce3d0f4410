#include "removal/uninstall.h"

#include "app/state.h"

void uninstall_worker() {
    // Not yet built: fail clearly rather than claim success.
    set_error(L"Эта сборка установщика ещё не умеет удалять Планикс.");
}
