// Blob writer: wimlib compresses each chunk; the framing is the Compression API's buffer mode.
#include "tools/release/blob_writer.h"

#include <memory>
#include <stdexcept>
#include <vector>

#include <wimlib.h>

#include "transport/lzms_container.h"

namespace {

constexpr uint64_t kChunkSize = uint64_t{64} << 20; // what Windows uses for LZMS

// A chunk record: its compressed length, then its bytes.
void append_chunk(std::string& blob, const uint8_t* bytes, size_t size) {
    uint8_t length[kLzmsChunkLengthSize];
    lzms_container_write_chunk_length(static_cast<uint32_t>(size), length);
    blob.append(reinterpret_cast<const char*>(length), sizeof length);
    blob.append(reinterpret_cast<const char*>(bytes), size);
}

struct CompressorDeleter {
    void operator()(wimlib_compressor* c) const { wimlib_free_compressor(c); }
};

} // namespace

std::string lzms_compress_blob(const uint8_t* data, size_t size, int level) {
    const uint64_t chunkSize = size < kChunkSize ? size : kChunkSize;
    uint8_t header[kLzmsContainerHeaderSize];
    lzms_container_write_header({size, chunkSize}, header);
    std::string blob(reinterpret_cast<const char*>(header), sizeof header);
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
        if (n == 0)
            append_chunk(blob, data + done, span);
        else
            append_chunk(blob, packed.data(), n);
        done += span;
    }
    return blob;
}
