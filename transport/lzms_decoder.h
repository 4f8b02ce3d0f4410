#pragma once
// Our own raw LZMS decoder (portable, no dependency): one chunk into a buffer of exact size.
#include <cstddef>
#include <cstdint>

// True only when `in` decodes to exactly `outSize` bytes.
bool lzms_decode_chunk(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize);

// The decoder's working memory (about 330 KiB, whatever the chunk size), for decoding several
// chunks without allocating it again for each. Null when out of memory.
struct LzmsDecoder;
LzmsDecoder* lzms_decoder_new();
void lzms_decoder_delete(LzmsDecoder* decoder);

// lzms_decode_chunk with the given working memory.
bool lzms_decode_chunk_with(LzmsDecoder& decoder, const uint8_t* in, size_t inSize, uint8_t* out,
                            size_t outSize);
