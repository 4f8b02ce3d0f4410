// Binary patches: made by the publisher's maker, applied by Setup's applier, over real program
// pairs built here with the mingw compiler, and every malformed form a hostile patch can take.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "native/lzms_test_support.h"
#include "tools/release/blob_writer.h"
#include "tools/release/patch_maker.h"
#include "transport/patch.h"

namespace fs = std::filesystem;
using lzms_test::Bytes;

namespace {

struct Pair {
    std::string name;
    Bytes old;
    Bytes neu;
};

// A C program of `functions` functions whose bodies depend on `salt`: changing the count moves
// every address after it, changing the salt changes a few constants.
std::string program_source(int functions, int salt) {
    std::string src = "#include <stdio.h>\n#include <string.h>\n";
    for (int i = 0; i < functions; ++i) {
        src += "int f" + std::to_string(i) + "(int x) { int a = x * " +
               std::to_string(i * 7 + 3 + (i % 50 == 0 ? salt : 0)) + "; for (int k = 0; k < " +
               std::to_string(i % 13 + 2) + "; ++k) a = (a << 1) ^ (a >> 3) ^ k; printf(\"f" +
               std::to_string(i) + " %d\\n\", a); return a + (int)strlen(\"v" + std::to_string(i) +
               "\"); }\n";
    }
    src += "int main(int argc, char** argv) { int s = argc;\n";
    for (int i = 0; i < functions; ++i)
        src += " s += f" + std::to_string(i) + "(s);\n";
    src += " (void)argv; return s & 1; }\n";
    return src;
}

class MingwPrograms {
  public:
    MingwPrograms() : dir_(fs::temp_directory_path() / ("patch_test_" + std::to_string(getpid()))) {
        fs::create_directories(dir_);
    }
    ~MingwPrograms() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // The executable of program_source(functions, salt), or empty when the compiler failed.
    Bytes build(int functions, int salt, const char* flags) {
        const std::string stem = "p" + std::to_string(functions) + "_" + std::to_string(salt);
        const fs::path source = dir_ / (stem + ".c");
        const fs::path exe = dir_ / (stem + ".exe");
        std::ofstream(source) << program_source(functions, salt);
        const std::string command = std::string("x86_64-w64-mingw32-gcc ") + flags + " -o '" +
                                    exe.string() + "' '" + source.string() + "' 2>&1";
        if (std::system(command.c_str()) != 0) return {};
        return lzms_test::read_file(exe);
    }

  private:
    fs::path dir_;
};

Bytes text_with_paragraph_changed(bool changed) {
    Bytes text = lzms_test::source_text(200000);
    const std::string paragraph =
        "\nThe quick brown fox was replaced by a slower, more deliberate animal; the edit\n"
        "touches one paragraph of the document and nothing else.\n";
    if (changed) text.insert(text.begin() + text.size() / 2, paragraph.begin(), paragraph.end());
    return text;
}

std::vector<Pair> make_pairs() {
    MingwPrograms programs;
    std::vector<Pair> list;
    list.push_back({"PE near: one constant changed", programs.build(300, 1, "-O2"),
                    programs.build(300, 2, "-O2")});
    list.push_back({"PE far: twice the functions, other optimisation",
                    programs.build(300, 1, "-O2"), programs.build(600, 5, "-O1")});
    list.push_back({"text with a paragraph added", text_with_paragraph_changed(false),
                    text_with_paragraph_changed(true)});
    const Bytes noise = lzms_test::random_bytes(100000, 7);
    list.push_back({"random data unrelated", noise, lzms_test::random_bytes(90000, 8)});
    Bytes edited = noise;
    for (size_t i = 0; i < edited.size(); i += 9973)
        edited[i] ^= 0x5A;
    list.push_back({"random data with scattered edits", noise, edited});
    Bytes grown = noise;
    grown.insert(grown.begin() + 5000, noise.begin(), noise.begin() + 30000);
    list.push_back({"grown", noise, grown});
    list.push_back({"shrunk", noise, Bytes(noise.begin() + 20000, noise.end() - 30000)});
    // A match the current alignment almost covers is not searched again at every byte over the rest
    // of the file, which makes runs of zeros take minutes.
    Bytes zeros(1 << 20, 0);
    Bytes zerosEdited = zeros;
    zerosEdited.insert(zerosEdited.begin() + 300000, {'h', 'e', 'l', 'l', 'o'});
    list.push_back({"a megabyte of zeros with a word inserted", zeros, zerosEdited});
    list.push_back({"empty to something", {}, Bytes(noise.begin(), noise.begin() + 1000)});
    list.push_back({"something to empty", noise, {}});
    list.push_back({"empty to empty", {}, {}});
    list.push_back({"one byte to one byte", {1}, {2}});
    return list;
}

// Built once: compiling the programs takes a while.
const std::vector<Pair>& pairs() {
    static const std::vector<Pair> list = make_pairs();
    return list;
}

std::string make(const Bytes& old, const Bytes& neu) {
    return make_patch(old.data(), old.size(), neu.data(), neu.size());
}

bool apply(const Bytes& old, const std::string& patch, uint64_t newSize, Bytes& out) {
    return apply_patch(old.data(), old.size(), reinterpret_cast<const uint8_t*>(patch.data()),
                       patch.size(), newSize, out);
}

size_t whole_blob_size(const Bytes& content) {
    return lzms_compress_blob(content.data(), content.size()).size();
}

TEST(Patch, RoundTripsEveryPairToTheExactNewBytes) {
    for (const Pair& p : pairs()) {
        SCOPED_TRACE(p.name);
        if (p.name.rfind("PE", 0) == 0) {
            ASSERT_FALSE(p.old.empty()) << "x86_64-w64-mingw32-gcc could not build the program";
            ASSERT_FALSE(p.neu.empty());
        }
        const std::string patch = make(p.old, p.neu);
        ASSERT_GE(patch.size(), kPatchHeaderSize);
        Bytes out{9, 9, 9};
        ASSERT_TRUE(apply(p.old, patch, p.neu.size(), out));
        EXPECT_TRUE(out == p.neu);
    }
}

TEST(Patch, IsAFractionOfTheWholeBlobForRebuiltProgramsAndEditedText) {
    // What patches are for: a rebuild or an edit costs a small part of the whole blob.
    for (const Pair& p : pairs()) {
        if (p.name.rfind("PE near", 0) != 0 && p.name.rfind("text", 0) != 0 &&
            p.name.rfind("random data with", 0) != 0)
            continue;
        SCOPED_TRACE(p.name);
        const size_t patch = make(p.old, p.neu).size();
        const size_t whole = whole_blob_size(p.neu);
        EXPECT_LT(patch * 10, whole) << "patch " << patch << " B, whole blob " << whole << " B";
    }
}

TEST(Patch, AppliesOnlyToTheOldContentAndSizeItWasMadeFor) {
    const Bytes old = lzms_test::random_bytes(5000, 1);
    Bytes neu = old;
    neu[100] ^= 1;
    const std::string patch = make(old, neu);
    Bytes out;
    EXPECT_FALSE(apply(Bytes(old.begin(), old.end() - 1), patch, neu.size(), out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(apply(old, patch, neu.size() + 1, out));
    EXPECT_FALSE(apply(old, patch, neu.size() - 1, out));
    // Different bytes of the same size are not detected here: Setup hashes the old file first
    // and the result after; the patch still produces exactly the new size.
    Bytes other = old;
    other[100] ^= 0xFF;
    ASSERT_TRUE(apply(other, patch, neu.size(), out));
    EXPECT_EQ(out.size(), neu.size());
}

// A patch written by hand in the documented format, with raw control and data streams.
struct RawPatch {
    uint64_t oldSize = 0;
    uint64_t newSize = 0;
    std::string control;
    std::string data;
    // Header fields written as given when set, to forge inconsistent headers.
    uint64_t controlSizeField = UINT64_MAX;
    uint64_t controlBlobField = UINT64_MAX;

    std::string bytes() const {
        const std::string c =
            lzms_compress_blob(reinterpret_cast<const uint8_t*>(control.data()), control.size());
        const std::string d =
            lzms_compress_blob(reinterpret_cast<const uint8_t*>(data.data()), data.size());
        std::string out = "LZPATCH1";
        for (uint64_t v :
             {oldSize, newSize, controlSizeField != UINT64_MAX ? controlSizeField : control.size(),
              controlBlobField != UINT64_MAX ? controlBlobField : c.size()})
            for (int k = 0; k < 8; ++k)
                out.push_back(static_cast<char>(v >> (8 * k)));
        return out + c + d;
    }
};

std::string varint(uint64_t v) {
    std::string s;
    for (; v >= 0x80; v >>= 7)
        s.push_back(static_cast<char>((v & 0x7F) | 0x80));
    s.push_back(static_cast<char>(v));
    return s;
}

std::string entry(uint64_t copy, uint64_t insert, int64_t seek) {
    return varint(copy) + varint(insert) + varint(static_cast<uint64_t>(seek));
}

TEST(Patch, HandWrittenPatchFollowsTheDocumentedFormat) {
    // Seek to 2, copy 4 bytes with differences, insert 2, seek back to 0, copy 2.
    const Bytes old = {10, 20, 30, 40, 50, 60, 70};
    RawPatch p;
    p.oldSize = old.size();
    p.newSize = 8;
    p.control = entry(0, 0, 2) + entry(4, 2, -6) + entry(2, 0, 0);
    p.data = std::string("\x00\x01\x00\xFF"
                         "AB"
                         "\x00\x05",
                         8);
    Bytes out;
    ASSERT_TRUE(apply(old, p.bytes(), 8, out));
    EXPECT_TRUE(out == (Bytes{30, 41, 50, 59, 'A', 'B', 10, 25}));
}

TEST(Patch, EveryMalformedFormFailsCleanly) {
    const Bytes old = lzms_test::random_bytes(1000, 3);
    const std::string data1000(1000, '\0');
    struct Case {
        const char* name;
        RawPatch patch;
        uint64_t newSize;
    };
    const auto raw = [&](std::string control, std::string data, uint64_t newSize) {
        RawPatch p;
        p.oldSize = old.size();
        p.newSize = newSize;
        p.control = std::move(control);
        p.data = std::move(data);
        return p;
    };
    std::vector<Case> cases = {
        {"copy past the end of the old content",
         raw(entry(1000, 0, 0) + entry(1, 0, 0), std::string(1001, '\0'), 1001), 1001},
        {"seek before the start of the old content",
         raw(entry(10, 0, -11) + entry(10, 980, 0), data1000, 1000), 1000},
        {"seek past the end then copy", raw(entry(0, 0, 1001) + entry(1, 999, 0), data1000, 1000),
         1000},
        {"copy longer than the new content", raw(entry(1001, 0, 0), data1000, 1000), 1000},
        {"insert longer than what is left", raw(entry(500, 501, 0), data1000, 1000), 1000},
        {"copy and insert whose sum wraps around 2^64",
         raw(entry(10, UINT64_MAX - 5, 0), data1000, 1000), 1000},
        {"entries that write less than the new size", raw(entry(500, 499, 0), data1000, 1000),
         1000},
        {"a varint of eleven bytes",
         raw(std::string(10, '\x80') + "\x01" + varint(0) + varint(0), data1000, 1000), 1000},
        {"a varint with bits above 64",
         raw(std::string(9, '\xFF') + "\x02" + varint(0) + varint(0), data1000, 1000), 1000},
        {"a control stream cut inside an entry",
         raw(entry(500, 500, 0) + varint(1), data1000, 1000), 1000},
        {"a data stream shorter than the new size", raw(entry(500, 500, 0), data1000, 1001), 1001},
        {"a data stream longer than the new size",
         raw(entry(500, 500, 0), std::string(1001, '\0'), 1000), 1000},
    };
    RawPatch headerLies = raw(entry(500, 500, 0), data1000, 1000);
    headerLies.controlSizeField = 1000 / kMaxPatchControlShare + kPatchControlSlack + 1;
    cases.push_back({"a control size beyond the bound for the new size", headerLies, 1000});
    RawPatch blobPastEnd = raw(entry(500, 500, 0), data1000, 1000);
    blobPastEnd.controlBlobField = UINT64_MAX - 10;
    cases.push_back({"a control blob size beyond the patch", blobPastEnd, 1000});
    RawPatch oldLies = raw(entry(500, 500, 0), data1000, 1000);
    oldLies.oldSize = 999;
    cases.push_back({"an old size other than the old content's", oldLies, 1000});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out{1, 2, 3};
        EXPECT_FALSE(apply(old, c.patch.bytes(), c.newSize, out));
        EXPECT_TRUE(out.empty());
    }
    // The same patches with a sound control stream apply, so each case fails for its fault.
    Bytes out;
    EXPECT_TRUE(apply(old, raw(entry(500, 500, 0), data1000, 1000).bytes(), 1000, out));
}

TEST(Patch, EveryTruncationAndEveryHeaderByteFlipFails) {
    const Bytes old = lzms_test::random_bytes(3000, 11);
    Bytes neu = old;
    neu.insert(neu.begin() + 1500, 40, 'x');
    const std::string patch = make(old, neu);
    Bytes out;
    ASSERT_TRUE(apply(old, patch, neu.size(), out));
    for (size_t n = 0; n < patch.size(); ++n) {
        SCOPED_TRACE("cut to " + std::to_string(n) + " bytes");
        EXPECT_FALSE(apply(old, patch.substr(0, n), neu.size(), out));
    }
    for (size_t at = 0; at < kPatchHeaderSize; ++at) {
        SCOPED_TRACE("header byte " + std::to_string(at) + " flipped");
        std::string bad = patch;
        bad[at] = static_cast<char>(bad[at] ^ 0x40);
        EXPECT_FALSE(apply(old, bad, neu.size(), out));
    }
    EXPECT_FALSE(apply_patch(nullptr, 5, reinterpret_cast<const uint8_t*>(patch.data()),
                             patch.size(), neu.size(), out));
    EXPECT_FALSE(apply_patch(old.data(), old.size(), nullptr, 0, neu.size(), out));
}

TEST(Patch, TheFuzzSeedsWrittenByTheirOwnScriptApply) {
    // tests/fuzz/make_patch_seeds.py writes the format from its description alone: each seed
    // must apply, or the fuzzer would start from inputs that fail at the first check.
    const fs::path corpus = fs::path(PLANNIX_SOURCE_DIR) / "tests/fuzz/corpus/patch_apply";
    size_t seeds = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(corpus)) {
        SCOPED_TRACE(e.path().filename().string());
        const Bytes input = lzms_test::read_file(e.path());
        ASSERT_GE(input.size(), 2 + kPatchHeaderSize);
        const size_t oldSize = input[0] | size_t{input[1]} << 8;
        ASSERT_LE(2 + oldSize + kPatchHeaderSize, input.size());
        const uint8_t* patch = input.data() + 2 + oldSize;
        uint64_t newSize = 0;
        for (int k = 7; k >= 0; --k)
            newSize = (newSize << 8) | patch[16 + k];
        Bytes out;
        EXPECT_TRUE(apply_patch(input.data() + 2, oldSize, patch, input.size() - 2 - oldSize,
                                newSize, out));
        ++seeds;
    }
    EXPECT_GE(seeds, 5u);
}

} // namespace
