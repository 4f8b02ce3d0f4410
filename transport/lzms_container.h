#pragma once
// The Compression API's buffer-mode container around LZMS chunks: its one header writer and
// reader, and our own reader of whole blobs (portable, no dependency).
//
// Layout (little-endian): 24-byte header, then for each chunk a 4-byte compressed length and
// that many bytes; a chunk whose length equals its uncompressed size is stored as it is.
#include <cstddef>
#include <cstdint>

constexpr size_t kLzmsContainerHeaderSize = 24;
// The compressed length before each chunk's bytes.
constexpr size_t kLzmsChunkLengthSize = 4;

// What a header says: the file's size, and that of every chunk but the last (which holds the
// rest).
struct LzmsContainerHeader {
    uint64_t total = 0;
    uint64_t chunkSize = 0;
};

// The header of an LZMS blob with these sizes, check byte included, into `out`.
void lzms_container_write_header(const LzmsContainerHeader& header,
                                 uint8_t (&out)[kLzmsContainerHeaderSize]);

// The sizes from the header at the start of `blob` when it is one of an LZMS blob: the magic,
// its own size, the check byte, the algorithm and a chunk size under 4 GiB. False otherwise; the
// sizes are then still only claims to check against the caller's own size and the bytes present.
bool lzms_container_read_header(const uint8_t* blob, size_t blobSize, LzmsContainerHeader& header);

// A chunk's compressed length, from the 4 bytes at `p` / into them.
uint32_t lzms_container_read_chunk_length(const uint8_t* p);
void lzms_container_write_chunk_length(uint32_t length, uint8_t* p);

// Decodes the whole blob into `out`, which holds exactly `size` bytes (the size the signed
// manifest gives). False on any inconsistency; never reads or writes outside the buffers.
bool lzms_container_decode(const uint8_t* blob, size_t blobSize, uint8_t* out, uint64_t size);

// The header's check byte: the low 8 bits of the CRC-32 of its other 23 bytes (0-5 and 7-23).
uint8_t lzms_container_check_byte(const uint8_t* header);
