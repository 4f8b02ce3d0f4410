#pragma once
// Binary patches: the new content of a file rebuilt from its old content and a small patch.
//
// The patch format (all integers little-endian, "varint" is LEB128: 7 bits a byte, low first,
// at most 10 bytes, no bits above 64):
//
//   offset size  field
//   0      8     magic: the ASCII bytes "LZPATCH1"
//   8      8     old size: the exact size of the content the patch applies to
//   16     8     new size: the exact size of the content it makes
//   24     8     control size: the bytes of the control stream once unpacked
//   32     8     control blob size: the bytes of the control blob that follows
//   40     ...   control blob: an LZMS blob of the control stream
//   ...    rest  data blob: an LZMS blob of the data stream, which unpacks to exactly new size
//
// The control stream is a list of entries, each three varints: copy, insert, seek. An entry
// writes `copy` bytes, each the sum (mod 256) of the next data byte and the old byte at the
// old position, advancing both; then `insert` bytes taken from the data stream as they are;
// then moves the old position by `seek`, read as a two's-complement 64-bit number. The old
// position starts at 0 and must stay within the old content for every byte a copy reads;
// the entries must write exactly new size bytes. The data stream thus holds the new content
// in its own order, with copied spans as differences from the old content (mostly zeros).
//
// The data stream is unpacked straight into the output, and the old bytes are then added in
// place, so applying needs the old content, the patch, the new content, the unpacked control
// stream (at most new size / kMaxPatchControlShare + kPatchControlSlack bytes) and the LZMS
// decoder's working memory.
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr size_t kPatchHeaderSize = 40;
constexpr char kPatchMagic[8] = {'L', 'Z', 'P', 'A', 'T', 'C', 'H', '1'};
// The unpacked control stream may be at most new size / kMaxPatchControlShare + kPatchControlSlack
// bytes: a patch whose entries are that dense would not be smaller than the whole blob anyway.
constexpr uint64_t kMaxPatchControlShare = 32;
constexpr uint64_t kPatchControlSlack = 4096;

// True only when `patch` turns `old` into exactly `newSize` bytes, which are then in `out`.
// Never reads or writes outside the buffers; a hostile patch can only fail.
bool apply_patch(const uint8_t* old, size_t oldSize, const uint8_t* patch, size_t patchSize,
                 uint64_t newSize, std::vector<uint8_t>& out);
