// keygen: the publisher's signing key pair.
#include "tools/release/commands.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "base/whole_file.h"
#include "tools/release/release_crypto.h"
#include "tools/release/release_files.h"

namespace fs = std::filesystem;

namespace {

// The private key goes to a file created for it alone, readable only by its owner; an existing
// key is never overwritten, since losing it means no further release can be signed for old
// Setups.
bool write_private_file(const fs::path& path, const std::string& data, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno == EEXIST ? path.string() + " already exists; not overwriting a key"
                                : "cannot create " + path.string();
        return false;
    }
    ::close(fd);
    if (write_file_flushed(path, data)) return true;
    ::unlink(path.c_str());
    error = "cannot write " + path.string();
    return false;
}

} // namespace

int cmd_keygen(const ParsedArgs& args) {
    std::string error;
    const fs::path dir = args.positional[0];
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "keygen: cannot create %s\n", dir.c_str());
        return 1;
    }
    PkeyPtr key = generate_p256_key();
    const std::string pem = key ? private_key_pem(key.get()) : std::string();
    const std::vector<uint8_t> raw = key ? raw_public_key(key.get()) : std::vector<uint8_t>();
    if (pem.empty() || raw.size() != kRawPublicKeySize) {
        std::fprintf(stderr, "keygen: OpenSSL could not make a P-256 key\n");
        return 1;
    }
    const std::string publicText = base64_encode(raw);
    if (!write_private_file(dir / "private.pem", pem, error)) {
        std::fprintf(stderr, "keygen: %s\n", error.c_str());
        return 1;
    }
    if (!write_replacing(dir / "public.txt", publicText + "\n")) {
        std::fprintf(stderr, "keygen: cannot write %s\n", (dir / "public.txt").c_str());
        return 1;
    }
    std::printf("private key: %s\npublic key:  %s\n%s\n", (dir / "private.pem").c_str(),
                (dir / "public.txt").c_str(), publicText.c_str());
    return 0;
}
