// The Compression API's buffer-mode framing around LZMS chunks. Nothing in the header is trusted
// beyond what it must agree with: the total must equal the size the caller expects, and every
// chunk length is checked against the bytes really present before it is used.
#include "transport/lzms_container.h"

#include <cstring>
#include <memory>

#include "transport/lzms_decoder.h"

namespace {

// The header's fields: offset and width in bytes.
constexpr uint8_t kMagic[4] = {0x0A, 0x51, 0xE5, 0xC0};
constexpr size_t kHeaderSizeAt = 4, kHeaderSizeBytes = 2;
constexpr size_t kCheckByte = 6;
constexpr size_t kAlgorithmByte = 7;
constexpr size_t kTotalAt = 8, kChunkSizeAt = 16, kSizeBytes = 8;
constexpr uint8_t kAlgorithmLzms = 5;
static_assert(sizeof kMagic == kHeaderSizeAt && kHeaderSizeAt + kHeaderSizeBytes == kCheckByte &&
                  kCheckByte + 1 == kAlgorithmByte && kAlgorithmByte + 1 == kTotalAt &&
                  kTotalAt + kSizeBytes == kChunkSizeAt &&
                  kChunkSizeAt + kSizeBytes == kLzmsContainerHeaderSize,
              "the header's fields fill its 24 bytes in order");

uint64_t load_le(const uint8_t* p, size_t bytes) {
    uint64_t v = 0;
    for (size_t k = bytes; k > 0; --k)
        v = (v << 8) | p[k - 1];
    return v;
}

void store_le(uint8_t* p, uint64_t v, size_t bytes) {
    for (size_t k = 0; k < bytes; ++k)
        p[k] = static_cast<uint8_t>(v >> (8 * k));
}

// Standard (zlib) CRC-32, bitwise: it only ever covers 23 header bytes.
uint32_t crc32_update(uint32_t crc, const uint8_t* p, size_t n) {
    for (size_t k = 0; k < n; ++k) {
        crc ^= p[k];
        for (int b = 0; b < 8; ++b)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return crc;
}

} // namespace

uint8_t lzms_container_check_byte(const uint8_t* header) {
    uint32_t crc = crc32_update(0xFFFFFFFFu, header, kCheckByte);
    crc = crc32_update(crc, header + kAlgorithmByte, kLzmsContainerHeaderSize - kAlgorithmByte);
    return static_cast<uint8_t>(~crc);
}

void lzms_container_write_header(const LzmsContainerHeader& header,
                                 uint8_t (&out)[kLzmsContainerHeaderSize]) {
    std::memcpy(out, kMagic, sizeof kMagic);
    store_le(out + kHeaderSizeAt, kLzmsContainerHeaderSize, kHeaderSizeBytes);
    out[kAlgorithmByte] = kAlgorithmLzms;
    store_le(out + kTotalAt, header.total, kSizeBytes);
    store_le(out + kChunkSizeAt, header.chunkSize, kSizeBytes);
    out[kCheckByte] = lzms_container_check_byte(out);
}

bool lzms_container_read_header(const uint8_t* blob, size_t blobSize, LzmsContainerHeader& header) {
    if (blob == nullptr || blobSize < kLzmsContainerHeaderSize) return false;
    if (std::memcmp(blob, kMagic, sizeof kMagic) != 0) return false;
    if (load_le(blob + kHeaderSizeAt, kHeaderSizeBytes) != kLzmsContainerHeaderSize) return false;
    if (blob[kCheckByte] != lzms_container_check_byte(blob)) return false;
    if (blob[kAlgorithmByte] != kAlgorithmLzms) return false;
    const uint64_t chunkSize = load_le(blob + kChunkSizeAt, kSizeBytes);
    if (chunkSize >> 32 != 0) return false; // Windows writes the upper half as 0
    header.total = load_le(blob + kTotalAt, kSizeBytes);
    header.chunkSize = chunkSize;
    return true;
}

uint32_t lzms_container_read_chunk_length(const uint8_t* p) {
    return static_cast<uint32_t>(load_le(p, kLzmsChunkLengthSize));
}

void lzms_container_write_chunk_length(uint32_t length, uint8_t* p) {
    store_le(p, length, kLzmsChunkLengthSize);
}

bool lzms_container_decode(const uint8_t* blob, size_t blobSize, uint8_t* out, uint64_t size) {
    LzmsContainerHeader header;
    if (!lzms_container_read_header(blob, blobSize, header)) return false;
    const uint64_t total = header.total;
    const uint64_t chunkSize = header.chunkSize;
    if (total != size) return false;
    size_t at = kLzmsContainerHeaderSize;
    if (total == 0) return at == blobSize; // an empty file is the header alone
    if (out == nullptr || chunkSize == 0 || chunkSize > total) return false;

    // One decoder's working memory serves every chunk, made when the first compressed one comes.
    struct DecoderDeleter {
        void operator()(LzmsDecoder* d) const { lzms_decoder_delete(d); }
    };
    std::unique_ptr<LzmsDecoder, DecoderDeleter> decoder;
    uint64_t done = 0;
    while (done < total) {
        const uint64_t span = total - done < chunkSize ? total - done : chunkSize;
        if (blobSize - at < kLzmsChunkLengthSize) return false;
        const uint64_t packed = lzms_container_read_chunk_length(blob + at);
        at += kLzmsChunkLengthSize;
        if (packed > blobSize - at) return false;
        const uint8_t* chunk = blob + at;
        uint8_t* dst = out + done;
        if (packed == span) {
            std::memcpy(dst, chunk, static_cast<size_t>(span)); // stored: compression did not help
        } else {
            if (!decoder) decoder.reset(lzms_decoder_new());
            if (!decoder || !lzms_decode_chunk_with(*decoder, chunk, static_cast<size_t>(packed),
                                                    dst, static_cast<size_t>(span)))
                return false;
        }
        at += static_cast<size_t>(packed);
        done += span;
    }
    return at == blobSize;
}
