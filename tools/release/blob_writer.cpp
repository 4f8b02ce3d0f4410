// Blob writer: wimlib compresses each chunk; the framing is the Compression API's buffer mode.
#include "tools/release/blob_writer.h"

#include <memory>
#include <stdexcept>
#include <vector>

#include <wimlib.h>

#include "transport/lzms_container.h"

namespace {

constexpr uint64_t kChunkSize = uint64_t{64} << 20; // what Windows uses for LZMS
constexpr uint8_t kAlgorithmLzms = 5;

void put_le(std::string& s, size_t at, uint64_t v, unsigned bytes) {
    for (unsigned k = 0; k < bytes; ++k)
        s[at + k] = static_cast<char>((v >> (8 * k)) & 0xFF);
}

struct CompressorDeleter {
    void operator()(wimlib_compressor* c) const { wimlib_free_compressor(c); }
};

} // namespace

std::string lzms_compress_blob(const uint8_t* data, size_t size, int level) {
    const uint64_t chunkSize = size < kChunkSize ? size : kChunkSize;
    std::string blob(kLzmsContainerHeaderSize, '\0');
    blob[0] = '\x0A';
    blob[1] = '\x51';
    blob[2] = '\xE5';
    blob[3] = '\xC0';
    put_le(blob, 4, kLzmsContainerHeaderSize, 2);
    blob[7] = static_cast<char>(kAlgorithmLzms);
    put_le(blob, 8, size, 8);
    put_le(blob, 16, chunkSize, 8); // upper 4 bytes stay 0
    blob[6] =
        static_cast<char>(lzms_container_check_byte(reinterpret_cast<const uint8_t*>(blob.data())));
    if (size == 0) return blob;

    if (level <= 0) throw std::runtime_error("LZMS compression level must be positive");
    wimlib_compressor* raw = nullptr;
    if (wimlib_create_compressor(WIMLIB_COMPRESSION_TYPE_LZMS, static_cast<size_t>(chunkSize),
                                 static_cast<unsigned>(level), &raw) != 0)
        throw std::runtime_error("cannot create the LZMS compressor");
    std::unique_ptr<wimlib_compressor, CompressorDeleter> compressor(raw);

    // Room for one byte less than the chunk: anything that does not shrink is stored instead.
    std::vector<uint8_t> packed(static_cast<size_t>(chunkSize));
    for (size_t done = 0; done < size;) {
        const size_t span = static_cast<size_t>(size - done < chunkSize ? size - done : chunkSize);
        const size_t n = wimlib_compress(data + done, span, packed.data(), span - 1, raw);
        const size_t at = blob.size();
        blob.resize(at + 4);
        if (n == 0) {
            put_le(blob, at, span, 4);
            blob.append(reinterpret_cast<const char*>(data + done), span);
        } else {
            put_le(blob, at, n, 4);
            blob.append(reinterpret_cast<const char*>(packed.data()), n);
        }
        done += span;
    }
    return blob;
}
