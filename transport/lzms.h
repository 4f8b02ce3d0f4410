#pragma once
// LZMS blobs: the Compression API's buffer-mode container around raw LZMS chunks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Unpacks one blob with the system's decompressor when there is a real one, else with our
// own. True only when the blob unpacks to exactly `size` bytes, which are then in `out`.
bool lzms_decompress(const std::string& blob, uint64_t size, std::vector<uint8_t>& out);

// Unpacks one blob and answers true only when `out` then holds `size` bytes whose SHA-256 is
// `sha256hex`. The system's decompressor goes first where there is a real one; when it fails or
// its bytes have another hash, our own decoder unpacks the same blob and the hash is checked
// again. So the outcome depends on the content, not on which decoder ran, and a blob is damaged
// only when neither gives the file.
bool lzms_decompress_checked(const std::string& blob, uint64_t size, const std::string& sha256hex,
                             std::vector<uint8_t>& out);

struct OptionalApi;
// lzms_decompress_checked with the system functions given, for the tests of the choice between
// the two decoders.
bool lzms_decompress_using(const OptionalApi& api, const std::string& blob, uint64_t size,
                           const std::string& sha256hex, std::vector<uint8_t>& out);
