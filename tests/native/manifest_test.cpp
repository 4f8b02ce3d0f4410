#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "catalogue/file_names.h"
#include "catalogue/manifest.h"

namespace {

const std::string kHashA(64, 'a');
const std::string kHashB(64, 'b');

nlohmann::json file_entry(const std::string& path) {
    return {{"path", path}, {"size", 10}, {"sha256", kHashA}, {"csize", 7}, {"csha256", kHashB}};
}

nlohmann::json valid_doc() {
    return {{"app", "plannix"},
            {"version", "2.4.1"},
            {"date", "2026-11-30"},
            {"exe", "plannix.exe"},
            {"files", nlohmann::json::array({file_entry("plannix.exe"), file_entry("d/x.dll")})}};
}

bool accepts(const nlohmann::json& doc) {
    Manifest m;
    return parse_manifest(doc.dump(), m);
}

bool accepts_text(const std::string& text) {
    Manifest m;
    return parse_manifest(text, m);
}

nlohmann::json with_path(const std::string& path) {
    nlohmann::json doc = valid_doc();
    doc["files"][1]["path"] = path;
    return doc;
}

TEST(ManifestParse, ReadsEveryFieldInDocumentOrder) {
    nlohmann::json doc = valid_doc();
    doc["files"][1]["size"] = 123456789012345ull;
    doc["files"][1]["csize"] = 4000000000ull;
    doc["files"][1]["sha256"] = kHashB;
    doc["files"][1]["csha256"] = kHashA;
    Manifest m;
    m.files.push_back(ManifestFile{"stale", "", "", 1, 1, {}});
    ASSERT_TRUE(parse_manifest(doc.dump(), m));
    EXPECT_EQ(m.version, "2.4.1");
    EXPECT_EQ(m.date, "2026-11-30");
    EXPECT_EQ(m.exe, "plannix.exe");
    ASSERT_EQ(m.files.size(), 2u);
    EXPECT_EQ(m.files[0].path, "plannix.exe");
    EXPECT_EQ(m.files[0].size, 10u);
    EXPECT_EQ(m.files[0].csize, 7u);
    EXPECT_EQ(m.files[1].path, "d/x.dll");
    EXPECT_EQ(m.files[1].size, 123456789012345ull);
    EXPECT_EQ(m.files[1].csize, 4000000000ull);
    EXPECT_EQ(m.files[1].sha256, kHashB);
    EXPECT_EQ(m.files[1].csha256, kHashA);
}

TEST(ManifestParse, OptionalKeysDefault) {
    nlohmann::json doc = valid_doc();
    doc.erase("date");
    doc.erase("exe");
    Manifest m;
    m.date = "old";
    m.exe = "old.exe";
    ASSERT_TRUE(parse_manifest(doc.dump(), m));
    EXPECT_EQ(m.date, "");
    EXPECT_EQ(m.exe, "plannix.exe");
}

TEST(ManifestParse, AppTagMustBeExact) {
    EXPECT_TRUE(accepts(valid_doc()));
    for (const char* app :
         {"Plannix", "PLANNIX", "plannix ", " plannix", "plannix\n", "", "plan"}) {
        nlohmann::json doc = valid_doc();
        doc["app"] = app;
        EXPECT_FALSE(accepts(doc)) << "app=" << app;
    }
    nlohmann::json doc = valid_doc();
    doc.erase("app");
    EXPECT_FALSE(accepts(doc));
    doc["app"] = 1;
    EXPECT_FALSE(accepts(doc));
}

TEST(ManifestParse, VersionRequiredAndNonEmpty) {
    nlohmann::json doc = valid_doc();
    doc.erase("version");
    EXPECT_FALSE(accepts(doc));
    doc["version"] = "";
    EXPECT_FALSE(accepts(doc));
    doc["version"] = 3;
    EXPECT_FALSE(accepts(doc));
}

TEST(ManifestParse, OptionalStringsOfAnotherTypeReject) {
    for (const char* key : {"date", "exe"}) {
        for (const nlohmann::json& bad :
             {nlohmann::json(1), nlohmann::json(nullptr), nlohmann::json::array({"x"})}) {
            nlohmann::json doc = valid_doc();
            doc[key] = bad;
            EXPECT_FALSE(accepts(doc)) << key << "=" << bad.dump();
        }
    }
}

TEST(ManifestParse, FilesMustBeANonEmptyArrayOfObjects) {
    nlohmann::json doc = valid_doc();
    doc["files"] = nlohmann::json::array();
    EXPECT_FALSE(accepts(doc));
    doc.erase("files");
    EXPECT_FALSE(accepts(doc));
    doc["files"] = "plannix.exe";
    EXPECT_FALSE(accepts(doc));
    doc["files"] = {{"a", file_entry("a")}}; // an object of entries is not an array
    EXPECT_FALSE(accepts(doc));
    doc["files"] = nlohmann::json::array({file_entry("a"), "b"});
    EXPECT_FALSE(accepts(doc));
    doc["files"] = nlohmann::json::array({file_entry("a"), nullptr});
    EXPECT_FALSE(accepts(doc));
}

TEST(ManifestParse, EveryEntryKeyIsRequiredWithItsType) {
    for (const char* key : {"path", "size", "sha256", "csize", "csha256"}) {
        nlohmann::json doc = valid_doc();
        doc["files"][1].erase(key);
        EXPECT_FALSE(accepts(doc)) << "missing " << key;
    }
    for (const char* key : {"path", "sha256", "csha256"}) {
        nlohmann::json doc = valid_doc();
        doc["files"][1][key] = 5;
        EXPECT_FALSE(accepts(doc)) << key << " as number";
    }
    for (const char* key : {"size", "csize"}) {
        for (const nlohmann::json& bad :
             {nlohmann::json("123"), nlohmann::json(true), nlohmann::json(nullptr),
              nlohmann::json::array({1}), nlohmann::json::object()}) {
            nlohmann::json doc = valid_doc();
            doc["files"][1][key] = bad;
            EXPECT_FALSE(accepts(doc)) << key << "=" << bad.dump();
        }
    }
}

TEST(ManifestParse, SizesAcceptAnyNumberTruncatingFloats) {
    Manifest m;
    const std::string head = R"({"app":"plannix","version":"1","files":[{"path":"a","sha256":"h",)"
                             R"("csha256":"c",)";
    ASSERT_TRUE(parse_manifest(head + R"("size":123.9,"csize":0.99}]})", m));
    EXPECT_EQ(m.files[0].size, 123u);
    EXPECT_EQ(m.files[0].csize, 0u);
    ASSERT_TRUE(parse_manifest(head + R"("size":18446744073709551615,"csize":1e3}]})", m));
    EXPECT_EQ(m.files[0].size, UINT64_MAX);
    EXPECT_EQ(m.files[0].csize, 1000u);
    ASSERT_TRUE(parse_manifest(head + R"("size":0,"csize":-0.0}]})", m));
    EXPECT_EQ(m.files[0].size, 0u);
    EXPECT_EQ(m.files[0].csize, 0u);
}

// A negative count or one beyond 64 bits would otherwise wrap into a plausible size.
TEST(ManifestParse, SizesThatCannotBeByteCountsReject) {
    const std::string head = R"({"app":"plannix","version":"1","files":[{"path":"a","sha256":"h",)"
                             R"("csha256":"c","csize":1,"size":)";
    for (const char* size : {"-1", "-9223372036854775808", "-0.5", "1.8446744073709552e19", "1e300",
                             "1e400", "18446744073709551616"}) {
        EXPECT_FALSE(accepts_text(head + size + "}]}")) << size;
    }
    EXPECT_TRUE(accepts_text(head + "1.8446744073709550e19}]}"));
}

TEST(ManifestParse, RootMustBeAnObject) {
    EXPECT_FALSE(accepts_text(R"(["plannix"])"));
    EXPECT_FALSE(accepts_text(R"("plannix")"));
    EXPECT_FALSE(accepts_text("null"));
    EXPECT_FALSE(accepts_text("42"));
}

TEST(ManifestParse, BrokenJsonRejects) {
    const std::string text = valid_doc().dump();
    EXPECT_FALSE(accepts_text(""));
    EXPECT_FALSE(accepts_text(text.substr(0, text.size() - 1)));
    EXPECT_FALSE(accepts_text(text + "x"));
    EXPECT_FALSE(accepts_text(text + text));
    std::string badUtf8 = valid_doc().dump();
    badUtf8.replace(badUtf8.find("d/x.dll"), 1, "\xff");
    EXPECT_FALSE(accepts_text(badUtf8));
}

TEST(ManifestParse, ExtraKeysAreIgnored) {
    nlohmann::json doc = valid_doc();
    doc["channel"] = "beta";
    doc["files"][0]["mode"] = 0755;
    doc["files"][1]["note"] = {{"nested", nlohmann::json::array()}};
    EXPECT_TRUE(accepts(doc));
}

// Two paths naming one file are refused like any bad manifest: with a rename of "Fonts/UI.ttf" to
// "fonts/ui.ttf", the update would delete the file it had just written.
TEST(ManifestParse, TwoPathsNamingOneFileRejectTheManifest) {
    const std::pair<const char*, const char*> clashes[] = {
        {"a.dll", "a.dll"},
        {"Fonts/UI.ttf", "fonts/ui.ttf"},
        {"data/x.bin", "data\\x.bin"},
        {"data/x.bin", "data//x.bin"},
        {"data/x.bin", "./data/./x.bin"},
        {"data/x.bin", "data/x.bin/"},
        {"Шрифты/Меню.txt", "шрифты/меню.txt"},
        {"ΣΟΦΙΑ.txt", "σοφια.txt"},
        {"Ёлка.png", "ёлка.png"},
        {"ÄÖÜ.txt", "äöü.txt"},
        {"ŽLUŤOUČKÝ.txt", "žluťoučký.txt"},
    };
    for (const auto& [a, b] : clashes) {
        nlohmann::json doc = valid_doc();
        doc["files"] = nlohmann::json::array({file_entry(a), file_entry("x.txt"), file_entry(b)});
        EXPECT_FALSE(accepts(doc)) << a << " and " << b;
    }
    // Names that only look alike are different files.
    const std::pair<const char*, const char*> distinct[] = {{"a.dll", "a.dl"},
                                                            {"data/x.bin", "datax.bin"},
                                                            {"e.txt", "\xc3\xa9.txt"},
                                                            {"ß.txt", "ss.txt"}};
    for (const auto& [a, b] : distinct) {
        nlohmann::json doc = valid_doc();
        doc["files"] = nlohmann::json::array({file_entry(a), file_entry(b)});
        EXPECT_TRUE(accepts(doc)) << a << " and " << b;
    }
}

TEST(ManifestPaths, BadPathRejectsWholeManifest) {
    for (const char* path : {"", "../x", "dir/../x", "a..b", "..", "x/..", "/abs", "\\abs",
                             "\\\\server\\share\\x", "C:x", "C:\\x", "dir/x:y", "x:"}) {
        EXPECT_FALSE(is_acceptable_manifest_path(path)) << path;
        EXPECT_FALSE(accepts(with_path(path))) << path;
    }
}

// An escaped NUL rejects the manifest: Windows cuts the name there, so the file written would not
// be the file recorded.
TEST(ManifestPaths, AnEmbeddedNulRejectsWholeManifest) {
    for (const std::string& path : {std::string("a\0.dll", 6), std::string("plannix.exe\0", 12),
                                    std::string("\0", 1), std::string("d/\0/x", 5)}) {
        EXPECT_FALSE(is_acceptable_manifest_path(path)) << path.size();
        const std::string text = with_path(path).dump();
        ASSERT_NE(text.find("\\u0000"), std::string::npos); // as it travels: escaped
        EXPECT_FALSE(accepts(with_path(path))) << text;
    }
}

TEST(ManifestPaths, GoodPathsAreStoredUnchanged) {
    for (const char* path : {"dir/sub/file.dll", "dir\\file.dll", "A/B.DLL", "a.b/c", ".hidden",
                             "ф/планикс.txt", "dir//x", "./x", "console.dll", "com10.txt", "nul_x",
                             "lpt.txt"}) {
        EXPECT_TRUE(is_acceptable_manifest_path(path)) << path;
        Manifest m;
        ASSERT_TRUE(parse_manifest(with_path(path).dump(), m)) << path;
        EXPECT_EQ(m.files[1].path, path);
    }
}

// Windows would open a device, or strip the dot or space and write a file of another name than
// the one recorded: Setup accepts exactly the names the release tool publishes.
TEST(ManifestPaths, ANameWindowsCannotHoldRejectsWholeManifest) {
    for (const char* path : {"CON", "nul.txt", "dir/Com1.dll", "lpt9.tar.gz", "aux /x.dll",
                             "com\u00b9.txt", "LPT\u00b3", "prn.", "x.", "trailing.",
                             "data./x.bin", "blank ", "dir /x", "dir\\Aux.h"}) {
        EXPECT_TRUE(is_acceptable_manifest_path(path)) << path;
        EXPECT_FALSE(accepts(with_path(path))) << path;
    }
}

TEST(ManifestPaths, BadPathInAnyPositionRejects) {
    nlohmann::json doc = valid_doc();
    doc["files"][0]["path"] = "../plannix.exe";
    EXPECT_FALSE(accepts(doc));
}

} // namespace
