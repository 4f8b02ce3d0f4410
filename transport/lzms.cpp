#include "transport/lzms.h"

#include <limits>
#include <new>
#include <stdexcept>

#include "transport/lzms_container.h"
#include "transport/transport_handles.h"

namespace {

constexpr DWORD kCompressAlgorithmLzms = 5; // COMPRESS_ALGORITHM_LZMS

bool decompress_with_system(const OptionalApi& api, const std::string& blob, uint64_t size,
                            std::vector<uint8_t>& out) {
    Decompressor decompressor;
    if (!api.createDecompressor(kCompressAlgorithmLzms, nullptr, decompressor.put())) return false;
    out.assign(static_cast<size_t>(size), 0);
    SIZE_T produced = 0;
    return api.decompress(decompressor.get(), blob.data(), blob.size(), out.data(), out.size(),
                          &produced) &&
           produced == size;
}

} // namespace

bool lzms_decompress(const std::string& blob, uint64_t size, std::vector<uint8_t>& out) {
    // The size comes from the manifest; one that no buffer here can hold fails like a bad blob.
    if (size > std::numeric_limits<size_t>::max() || size > out.max_size()) return false;
    try {
        const OptionalApi& api = optional_api();
        if (api.createDecompressor) return decompress_with_system(api, blob, size, out);
        out.assign(static_cast<size_t>(size), 0);
        return lzms_container_decode(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(),
                                     out.data(), size);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}
