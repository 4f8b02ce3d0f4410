#include "engine/install_pipeline.h"

#include "app/state.h"

void install_worker() {
    g_cancelRequested.exchange(false);
    g_bytesDone.exchange(0);
    g_bytesTotal.exchange(0);
    // Not yet built: fail clearly rather than claim success.
    set_error(L"Эта сборка установщика ещё не умеет устанавливать Планикс.");
}
