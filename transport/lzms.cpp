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

bool lzms_decompress_using(const OptionalApi& api, const std::string& blob, uint64_t size,
                           std::vector<uint8_t>& out) {
    // A size beyond size_t is possible only in a 32-bit build; any other size that memory
    // cannot hold makes the vector throw, which is caught below.
    if (size > std::numeric_limits<size_t>::max()) return false;
    try {
        // An empty file has no output buffer, and a null one turns the system's Decompress into
        // a size query that reports failure: the container of an empty file (the header alone)
        // is read by our own reader on every system.
        if (api.createDecompressor && size != 0)
            return decompress_with_system(api, blob, size, out);
        out.assign(static_cast<size_t>(size), 0);
        return lzms_container_decode(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(),
                                     out.data(), size);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

bool lzms_decompress(const std::string& blob, uint64_t size, std::vector<uint8_t>& out) {
    return lzms_decompress_using(optional_api(), blob, size, out);
}
