#pragma once
// Writes LZMS blobs in the Compression API's buffer-mode container (wimlib compresses each
// chunk). Publisher side only: setup.exe never links wimlib.
#include <cstddef>
#include <cstdint>
#include <string>

constexpr int kDefaultLzmsLevel = 50; // wimlib's default compression level

// The whole blob for `size` bytes of `data`; chunks that do not shrink are stored.
// Throws std::runtime_error when wimlib cannot be set up.
std::string lzms_compress_blob(const uint8_t* data, size_t size, int level = kDefaultLzmsLevel);
