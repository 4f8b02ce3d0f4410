#pragma once
// LZMS blobs: the Compression API's buffer-mode container around raw LZMS chunks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Unpacks one blob with the system's decompressor when there is a real one, else with our
// own. True only when the blob unpacks to exactly `size` bytes, which are then in `out`.
bool lzms_decompress(const std::string& blob, uint64_t size, std::vector<uint8_t>& out);

struct OptionalApi;
// The same with the system functions given: for the tests of the choice between the two.
bool lzms_decompress_using(const OptionalApi& api, const std::string& blob, uint64_t size,
                           std::vector<uint8_t>& out);
