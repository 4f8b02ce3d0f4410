#include "engine/version_check.h"

#include <string>

#include "base/byte_counts.h"
#include "engine/signed_manifest.h"
#include "base/state.h"
#include "base/main_window.h"
#include "catalogue/components.h"
#include "catalogue/manifest.h"
#include "transport/http.h"
#include "transport/transfer_control.h"

// Informative only: every failure is silent and leaves g_catalogReady false; the install
// worker fetches and checks the manifest again on its own and reports its failures.
void version_check_main(uint64_t installedSequence) {
    // A short session of its own, closed as soon as the manifest is in: the worker opens one
    // for its run.
    Manifest manifest;
    {
        HttpSession net;
        if (!open_http_session(net)) return;
        // A cancel ends it; the manifest is not counted as progress.
        TransferControl control(&g_cancelRequested);
        if (fetch_signed_manifest(net, control, installedSequence, manifest) !=
            ManifestFetch::Accepted)
            return;
    }

    // Installed (uncompressed) sizes, of every component, selected or not.
    uint64_t totals[kComponentCount] = {};
    for (const ManifestFile& file : manifest.files) {
        uint64_t& total = totals[classify_file(file.path)];
        total = saturating_add(total, file.size);
    }

    {
        std::lock_guard<std::mutex> lock(g_stateLock);
        g_remoteVersion = manifest.version;
    }
    for (int n = 0; n < kComponentCount; ++n)
        g_componentDownloadSize[n] = totals[n];
    // Last: a reader that sees the flag also sees the values above.
    g_catalogReady.exchange(true);
    if (const HWND window = g_mainWindow.load()) InvalidateRect(window, nullptr, FALSE);
}
