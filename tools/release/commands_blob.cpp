// compress IN OUT: one file into one blob. unpack BLOB SIZE OUT: one blob back into a file with
// Setup's own decoder, to check blobs exactly as the installer will read them.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

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

int cmd_compress(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: plannix-release compress IN OUT\n");
        return 2;
    }
    std::string data;
    if (!read_whole(argv[0], data)) return fail("cannot read", argv[0]);
    std::string blob;
    try {
        blob = lzms_compress_blob(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    } catch (const std::exception& e) {
        return fail(e.what(), argv[0]);
    }
    if (!write_replacing(argv[1], blob)) return fail("cannot write", argv[1]);
    return 0;
}

int cmd_unpack(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: plannix-release unpack BLOB SIZE OUT\n");
        return 2;
    }
    uint64_t size = 0;
    if (!parse_size(argv[1], size)) return fail("not a byte count", argv[1]);
    std::string blob;
    if (!read_whole(argv[0], blob)) return fail("cannot read", argv[0]);
    // The blob's header must announce the same total; checking that first keeps a mistyped
    // size from allocating a huge buffer for nothing.
    LzmsContainerHeader header;
    if (!lzms_container_read_header(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(),
                                    header) ||
        header.total != size)
        return fail("not a valid LZMS blob of that size", argv[0]);
    if (size > SIZE_MAX) return fail("size too large for this machine", argv[1]);
    std::string out;
    try {
        out.resize(static_cast<size_t>(size));
    } catch (const std::exception&) {
        return fail("cannot allocate the output", argv[1]);
    }
    if (!lzms_container_decode(reinterpret_cast<const uint8_t*>(blob.data()), blob.size(),
                               reinterpret_cast<uint8_t*>(out.data()), size))
        return fail("not a valid LZMS blob of that size", argv[0]);
    if (!write_replacing(argv[2], out)) return fail("cannot write", argv[2]);
    return 0;
}
