// Binary patches on pairs of files: our patch's size beside the whole blob, bsdiff's patch and
// zstd's (-19 --patch-from) on the same pair, then how fast the patch applies (MB/s of output,
// CPU time, best run) beside our LZMS decoder on the whole blob.
//
//   patch_bench [--runs N] NAME OLD NEW [NAME OLD NEW ...]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/bench_clock.h"
#include "tools/release/blob_writer.h"
#include "tools/release/patch_maker.h"
#include "transport/lzms_container.h"
#include "transport/patch.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes read_file(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

std::string quoted(const fs::path& p) {
    std::string s(1, '\'');
    s += p.string();
    s += '\'';
    return s;
}

// The size of the file `command` writes to `out`, or 0 when the command failed.
uintmax_t made_by(const std::string& command, const fs::path& out) {
    std::error_code ec;
    fs::remove(out, ec);
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) return 0;
    const uintmax_t n = fs::file_size(out, ec);
    return ec ? 0 : n;
}

double mb_per_s(size_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    int i = 1;
    if (argc > 2 && std::strcmp(argv[1], "--runs") == 0) {
        runs = std::max(1, std::atoi(argv[2]));
        i = 3;
    }
    if ((argc - i) % 3 != 0 || argc == i) {
        std::fprintf(stderr, "usage: patch_bench [--runs N] NAME OLD NEW [NAME OLD NEW ...]\n");
        return 2;
    }
    const fs::path scratch =
        fs::temp_directory_path() / ("patch_bench_" + std::to_string(getpid()));
    fs::create_directories(scratch);
    std::printf("%-22s %10s %10s %9s %6s %9s %9s %8s %8s %6s %7s\n", "pair", "new (B)", "blob (B)",
                "ours (B)", "share", "bsdiff", "zstd-19", "apply", "decode", "ratio", "make s");
    int status = 0;
    for (; i < argc; i += 3) {
        const char* name = argv[i];
        const Bytes old = read_file(argv[i + 1]);
        const Bytes neu = read_file(argv[i + 2]);
        const std::string blob = lzms_compress_blob(neu.data(), neu.size());
        const double made0 = cpu_seconds();
        const std::string patch = make_patch(old.data(), old.size(), neu.data(), neu.size());
        const double makeSeconds = cpu_seconds() - made0;
        const uintmax_t bsdiff = made_by("bsdiff " + quoted(argv[i + 1]) + " " +
                                             quoted(argv[i + 2]) + " " + quoted(scratch / "p"),
                                         scratch / "p");
        const uintmax_t zstd = made_by("zstd -q -19 --patch-from=" + quoted(argv[i + 1]) + " " +
                                           quoted(argv[i + 2]) + " -o " + quoted(scratch / "z"),
                                       scratch / "z");

        double applyBest = 1e30, decodeBest = 1e30;
        Bytes out, whole(neu.size());
        bool ok = true;
        for (int r = 0; r < runs; ++r) {
            const double t0 = cpu_seconds();
            ok = ok &&
                 apply_patch(old.data(), old.size(), reinterpret_cast<const uint8_t*>(patch.data()),
                             patch.size(), neu.size(), out);
            const double t1 = cpu_seconds();
            ok = ok && lzms_container_decode(reinterpret_cast<const uint8_t*>(blob.data()),
                                             blob.size(), whole.data(), whole.size());
            const double t2 = cpu_seconds();
            applyBest = std::min(applyBest, t1 - t0);
            decodeBest = std::min(decodeBest, t2 - t1);
        }
        if (!ok || out != neu || whole != neu) {
            std::printf("%-22s FAILED: the patch or the blob does not give the new file\n", name);
            status = 1;
            continue;
        }
        const double apply = mb_per_s(neu.size(), applyBest);
        const double decode = mb_per_s(neu.size(), decodeBest);
        std::printf("%-22s %10zu %10zu %9zu %5.1f%% %9ju %9ju %8.1f %8.1f %6.2f %7.2f\n", name,
                    neu.size(), blob.size(), patch.size(),
                    100.0 * static_cast<double>(patch.size()) / static_cast<double>(blob.size()),
                    bsdiff, zstd, apply, decode, decode > 0 ? apply / decode : 0, makeSeconds);
    }
    std::printf(
        "(sizes in bytes; share = ours / whole blob; apply and decode in MB/s of output, "
        "CPU time, best of %d; ratio = apply / decode; make s = CPU seconds to make ours)\n",
        runs);
    std::error_code ec;
    fs::remove_all(scratch, ec);
    return status;
}
