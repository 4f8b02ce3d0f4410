// LZMS decoding speed: our container reader and decoder against wimlib's decoder on the same
// blobs, in one process. Prints MB/s of output (by CPU time, best run) for each and their ratio
// per corpus.
//
//   lzms_bench [--cache DIR] [--runs N] [--level L]
//
// Blobs are made by the release tool's writer (64 MiB chunks) and kept in the cache folder, as
// compressing 64 MiB takes a while; wimlib decodes them chunk by chunk through the same framing.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <wimlib.h>

#include "bench/bench_clock.h"
#include "tools/release/blob_writer.h"
#include "transport/lzms_container.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes read_file(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

bool has_suffix(const std::string& name, const std::vector<std::string>& suffixes) {
    for (const std::string& s : suffixes)
        if (name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0)
            return true;
    return false;
}

std::vector<fs::path> files_under(const fs::path& dir, const std::vector<std::string>& suffixes,
                                  bool recursive) {
    std::vector<fs::path> out;
    std::error_code ec;
    auto take = [&](const fs::directory_entry& e) {
        if (e.is_regular_file(ec) && has_suffix(e.path().filename().string(), suffixes))
            out.push_back(e.path());
    };
    if (recursive) {
        for (auto it = fs::recursive_directory_iterator(dir, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            take(*it);
    } else {
        for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator();
             it.increment(ec))
            take(*it);
    }
    std::sort(out.begin(), out.end());
    return out;
}

Bytes concat(const std::vector<fs::path>& files, size_t limit) {
    Bytes out;
    for (const fs::path& p : files) {
        if (out.size() >= limit) break;
        const Bytes b = read_file(p);
        out.insert(out.end(), b.begin(), b.end());
    }
    if (out.size() > limit) out.resize(limit);
    return out;
}

// Already-compressed files in 48 KiB pieces, every fourth piece followed by 8 KiB of header
// text, and some pure noise: LZMS barely shrinks it, so it is mostly literals.
Bytes mixed_corpus(size_t limit, const Bytes& text) {
    const Bytes packed =
        concat(files_under("/usr/share", {".gz", ".xz", ".png", ".bz2"}, true), limit);
    std::mt19937 rng(1);
    Bytes out;
    size_t p = 0, t = 0, piece = 0;
    while (out.size() < limit) {
        if (p + 49152 <= packed.size()) {
            out.insert(out.end(), packed.begin() + p, packed.begin() + p + 49152);
            p += 49152;
        } else {
            for (int k = 0; k < 49152; ++k)
                out.push_back(static_cast<uint8_t>(rng()));
        }
        if (++piece % 4 == 0 && t + 8192 <= text.size()) {
            out.insert(out.end(), text.begin() + t, text.begin() + t + 8192);
            t += 8192;
        }
    }
    out.resize(limit);
    return out;
}

uint64_t fnv1a(const Bytes& b) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t x : b)
        h = (h ^ x) * 1099511628211ull;
    return h;
}

Bytes blob_for(const std::string& name, const Bytes& data, int level, const fs::path& cache) {
    char key[64];
    std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(fnv1a(data)));
    const fs::path file = cache / (name + "-" + std::to_string(level) + "-" + key + ".lzms");
    if (!cache.empty() && fs::exists(file)) return read_file(file);
    std::fprintf(stderr, "compressing %s (%zu bytes, level %d)...\n", name.c_str(), data.size(),
                 level);
    const std::string blob = lzms_compress_blob(data.data(), data.size(), level);
    if (!cache.empty()) {
        fs::create_directories(cache);
        std::ofstream(file, std::ios::binary)
            .write(blob.data(), static_cast<std::streamsize>(blob.size()));
    }
    return Bytes(blob.begin(), blob.end());
}

// wimlib through the same framing; the blob is our writer's, so only its header is checked here.
bool wimlib_container_decode(wimlib_decompressor* d, const Bytes& blob, uint8_t* out,
                             uint64_t total) {
    LzmsContainerHeader header;
    if (!lzms_container_read_header(blob.data(), blob.size(), header) || header.total != total)
        return false;
    size_t at = kLzmsContainerHeaderSize;
    for (uint64_t done = 0; done < total;) {
        const size_t span = static_cast<size_t>(std::min(header.chunkSize, total - done));
        const size_t packed = lzms_container_read_chunk_length(&blob[at]);
        at += kLzmsChunkLengthSize;
        if (packed == span)
            std::memcpy(out + done, &blob[at], span);
        else if (wimlib_decompress(&blob[at], packed, out + done, span, d) != 0)
            return false;
        at += packed;
        done += span;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    fs::path cache;
    int runs = 5;
    int level = kDefaultLzmsLevel;
    for (int k = 1; k + 1 < argc; k += 2) {
        if (std::strcmp(argv[k], "--cache") == 0)
            cache = argv[k + 1];
        else if (std::strcmp(argv[k], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[k + 1]));
        else if (std::strcmp(argv[k], "--level") == 0)
            level = std::atoi(argv[k + 1]);
    }

    struct Corpus {
        std::string name;
        Bytes data;
    };
    std::vector<Corpus> corpora;
    corpora.push_back(
        {"x86-64 PE (Wine DLLs)",
         concat(files_under("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", {".dll"}, false),
                64u << 20)});
    Bytes text = concat(files_under("/usr/include", {".h", ".hpp"}, true), 32u << 20);
    corpora.push_back({"mixed incompressible", mixed_corpus(32u << 20, text)});
    corpora.push_back({"text (C headers)", std::move(text)});

    wimlib_decompressor* wd = nullptr;
    if (wimlib_create_decompressor(WIMLIB_COMPRESSION_TYPE_LZMS, size_t{64} << 20, &wd) != 0) {
        std::fprintf(stderr, "cannot create wimlib's decompressor\n");
        return 1;
    }
    std::printf("%-24s %10s %10s %10s %10s %8s\n", "corpus", "MB", "blob MB", "ours MB/s",
                "wimlib MB/s", "ratio");
    int status = 0;
    for (const Corpus& c : corpora) {
        if (c.data.empty()) {
            std::printf("%-24s (not available)\n", c.name.c_str());
            continue;
        }
        std::string tag;
        for (char ch : c.name)
            tag += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        const Bytes blob = blob_for(tag, c.data, level, cache);
        Bytes out(c.data.size());
        double best[2] = {1e30, 1e30};
        // Alternate the two decoders so that both see the same machine conditions.
        for (int r = 0; r < runs; ++r) {
            for (int who = 0; who < 2; ++who) {
                std::memset(out.data(), 0, out.size());
                const double t0 = cpu_seconds();
                const bool ok =
                    who == 0
                        ? lzms_container_decode(blob.data(), blob.size(), out.data(), c.data.size())
                        : wimlib_container_decode(wd, blob, out.data(), c.data.size());
                const double t1 = cpu_seconds();
                if (!ok || out != c.data) {
                    std::printf("%s: %s decoder gave wrong output\n", c.name.c_str(),
                                who == 0 ? "our" : "wimlib's");
                    status = 1;
                }
                best[who] = std::min(best[who], t1 - t0);
            }
        }
        const double mb = static_cast<double>(c.data.size()) / 1e6;
        std::printf("%-24s %10.1f %10.1f %10.1f %10.1f %8.2f\n", c.name.c_str(), mb,
                    static_cast<double>(blob.size()) / 1e6, mb / best[0], mb / best[1],
                    best[1] / best[0]);
    }
    wimlib_free_decompressor(wd);
    return status;
}
