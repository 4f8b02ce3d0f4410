#include "engine/pack_source.h"

#include "catalogue/manifest.h"
#include "engine/blob_cache.h"
#include "engine/resume_cache.h"
#include "transport/lzms.h"

bool obtain_pack(const HttpSession& net, const ManifestPack& pack, TransferControl& control,
                 std::vector<uint8_t>& content) {
    try {
        std::string blob = cached_blob(resume_cache_path(pack.sha256), pack.csize, pack.csha256);
        const bool downloaded = blob.empty();
        if (downloaded && download_resumable(net, pack_server_path(pack), pack.sha256, pack.csize,
                                             pack.csha256, control, blob) != Download::Good)
            return false;
        // Our own decoder is the safety net when the system's refuses the pack or errs.
        if (!lzms_decompress_checked(blob, pack.size, pack.sha256, content)) return false;
        if (downloaded) keep_in_resume_cache(pack.sha256, blob);
        return true;
    } catch (const std::exception&) {
        return false; // memory for the blob and its content: the members' blobs may still do
    }
}
