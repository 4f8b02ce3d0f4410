#include "transport/lzms.h"

#include <limits>
#include <new>
#include <stdexcept>

#include "transport/hash.h"
#include "transport/lzms_container.h"
#include "transport/transport_handles.h"

namespace {

constexpr DWORD kCompressAlgorithmLzms = 5; // COMPRESS_ALGORITHM_LZMS

// An empty file has no output buffer, and a null one turns the system's Decompress into a size
// query that reports failure: the container of an empty file (the header alone) is read by our
// own reader on every system.
bool system_can_decode(const OptionalApi& api, uint64_t size) {
    return api.createDecompressor != nullptr && size != 0;
}

bool decompress_with_system(const OptionalApi& api, const std::string& blob, uint64_t size,
                            std::vector<uint8_t>& out) {
    CompressorHandle handle = nullptr;
    if (!api.createDecompressor(kCompressAlgorithmLzms, nullptr, &handle)) return false;
    const Decompressor decompressor(DecompressorRef{handle, api.closeDecompressor});
    out.assign(static_cast<size_t>(size), 0);
    SIZE_T produced = 0;
    return api.decompress(handle, blob.data(), blob.size(), out.data(), out.size(), &produced) &&
           produced == size;
}

bool decompress_with_ours(const std::string& blob, uint64_t size, std::vector<uint8_t>& out) {
    out.assign(static_cast<size_t>(size), 0);
    return lzms_container_decode(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(),
                                 out.data(), size);
}

bool has_hash(const std::vector<uint8_t>& content, const std::string& sha256hex) {
    return sha256_hex(content.data(), content.size()) == sha256hex;
}

// Runs `body` for a size that a buffer can hold. A size beyond size_t is possible only in a
// 32-bit build; any other size that memory cannot hold makes the vector throw.
template <typename Body> bool within_memory(uint64_t size, Body body) {
    if (size > std::numeric_limits<size_t>::max()) return false;
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

} // namespace

bool lzms_decompress(const std::string& blob, uint64_t size, std::vector<uint8_t>& out) {
    const OptionalApi& api = optional_api();
    return within_memory(size, [&] {
        return system_can_decode(api, size) ? decompress_with_system(api, blob, size, out)
                                            : decompress_with_ours(blob, size, out);
    });
}

bool lzms_decompress_using(const OptionalApi& api, const std::string& blob, uint64_t size,
                           const std::string& sha256hex, std::vector<uint8_t>& out) {
    return within_memory(size, [&] {
        // The second decode costs time only when the first did not give the file.
        if (system_can_decode(api, size) && decompress_with_system(api, blob, size, out) &&
            has_hash(out, sha256hex))
            return true;
        return decompress_with_ours(blob, size, out) && has_hash(out, sha256hex);
    });
}

bool lzms_decompress_checked(const std::string& blob, uint64_t size, const std::string& sha256hex,
                             std::vector<uint8_t>& out) {
    return lzms_decompress_using(optional_api(), blob, size, sha256hex, out);
}
