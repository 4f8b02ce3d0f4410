// The Compression API's buffer-mode framing around LZMS chunks. Nothing in the header is trusted
// beyond what it must agree with: the total must equal the size the caller expects, and every
// chunk length is checked against the bytes really present before it is used.
#include "transport/lzms_container.h"

#include <cstring>
#include <memory>

#include "transport/lzms_decoder.h"

namespace {

constexpr uint8_t kMagic[4] = {0x0A, 0x51, 0xE5, 0xC0};
constexpr uint8_t kAlgorithmLzms = 5;
constexpr size_t kCheckByte = 6;
constexpr size_t kAlgorithmByte = 7;

uint64_t load_le(const uint8_t* p, unsigned bytes) {
    uint64_t v = 0;
    for (unsigned k = bytes; k > 0; --k)
        v = (v << 8) | p[k - 1];
    return v;
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

bool lzms_container_decode(const uint8_t* blob, size_t blobSize, uint8_t* out, uint64_t size) {
    if (blob == nullptr || blobSize < kLzmsContainerHeaderSize) return false;
    if (std::memcmp(blob, kMagic, sizeof kMagic) != 0) return false;
    if (load_le(blob + 4, 2) != kLzmsContainerHeaderSize) return false;
    if (blob[kCheckByte] != lzms_container_check_byte(blob)) return false;
    if (blob[kAlgorithmByte] != kAlgorithmLzms) return false;
    const uint64_t total = load_le(blob + 8, 8);
    const uint64_t chunkSize = load_le(blob + 16, 8);
    if (total != size) return false;
    if (chunkSize >> 32 != 0) return false;
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
        if (blobSize - at < 4) return false;
        const uint64_t packed = load_le(blob + at, 4);
        at += 4;
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
