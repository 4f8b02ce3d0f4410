// compress IN OUT: one file into one blob. unpack BLOB SIZE OUT: one blob back into a file with
// Setup's own decoder, to check blobs exactly as the installer will read them.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "base/whole_file.h"
#include "tools/release/blob_writer.h"
#include "tools/release/commands.h"
#include "tools/release/release_files.h"
#include "transport/lzms_container.h"

namespace {

// A decimal byte count, nothing else.
bool parse_size(const char* text, uint64_t& size) {
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0') return false;
    size = v;
    return true;
}

int fail(const char* what, const char* path) {
    std::fprintf(stderr, "plannix-release: %s: %s\n", what, path);
    return 1;
}

} // namespace

int cmd_compress(const ParsedArgs& args) {
    const char* in = args.positional[0].c_str();
    const char* out = args.positional[1].c_str();
    std::string data;
    if (!read_whole_file(in, data)) return fail("cannot read", in);
    std::string blob;
    try {
        blob = lzms_compress_blob(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    } catch (const std::exception& e) {
        return fail(e.what(), in);
    }
    if (!write_replacing(out, blob)) return fail("cannot write", out);
    return 0;
}

int cmd_unpack(const ParsedArgs& args) {
    const char* in = args.positional[0].c_str();
    const char* sizeText = args.positional[1].c_str();
    const char* outPath = args.positional[2].c_str();
    uint64_t size = 0;
    if (!parse_size(sizeText, size)) throw UsageError(std::string("not a byte count: ") + sizeText);
    std::string blob;
    if (!read_whole_file(in, blob)) return fail("cannot read", in);
    // The blob's header must announce the same total; checking that first keeps a mistyped
    // size from allocating a huge buffer for nothing.
    LzmsContainerHeader header;
    if (!lzms_container_read_header(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(),
                                    header) ||
        header.total != size)
        return fail("not a valid LZMS blob of that size", in);
    if (size > SIZE_MAX) return fail("size too large for this machine", sizeText);
    std::string out;
    try {
        out.resize(static_cast<size_t>(size));
    } catch (const std::exception&) {
        return fail("cannot allocate the output", sizeText);
    }
    if (!lzms_container_decode(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(),
                               reinterpret_cast<uint8_t*>(out.data()), size))
        return fail("not a valid LZMS blob of that size", in);
    if (!write_replacing(outPath, out)) return fail("cannot write", outPath);
    return 0;
}
