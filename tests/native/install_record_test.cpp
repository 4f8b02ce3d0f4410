#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdlib.h>

#include "catalogue/install_record.h"
#include "catalogue/manifest.h"

namespace fs = std::filesystem;

namespace {

const std::string kH1(64, '1');
const std::string kH2(64, '2');
const std::string kH3(64, '3');
const std::string kH4(64, '4');

ManifestFile file(const std::string& path, const std::string& sha) {
    return ManifestFile{path, sha, std::string(64, 'c'), 1, 1, {}};
}

Manifest sample_manifest() {
    Manifest m;
    m.version = "2.4.1";
    m.sequence = 18446744073709551615ull;
    m.files = {file("plannix.exe", kH1), file("nvngx_dlss.dll", kH2),
               file("amd_fidelityfx_dx12.dll", kH3), file("ф/планикс.txt", kH4)};
    return m;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void spit(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

class RecordFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "plannix-record-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        wdir.assign(pattern.begin(), pattern.end()); // the temporary folder's path is ASCII
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    fs::path record() const { return dir / "install.json"; }

    fs::path dir;
    std::wstring wdir;
};

TEST(SerialiseRecord, ExactBytes) {
    const bool selected[5] = {true, false, true, false, false};
    const std::string expected =
        "{\r\n"
        " \"components\": [\r\n"
        "  \"core\",\r\n"
        "  \"amd\"\r\n"
        " ],\r\n"
        " \"files\": {\r\n"
        "  \"amd_fidelityfx_dx12.dll\": \"" +
        kH3 +
        "\",\r\n"
        "  \"plannix.exe\": \"" +
        kH1 +
        "\",\r\n"
        "  \"\xd1\x84/\xd0\xbf\xd0\xbb\xd0\xb0\xd0\xbd\xd0\xb8\xd0\xba\xd1\x81"
        ".txt\": \"" +
        kH4 +
        "\"\r\n"
        " },\r\n"
        " \"offered\": [\r\n"
        "  \"core\",\r\n"
        "  \"nvidia\",\r\n"
        "  \"amd\",\r\n"
        "  \"intel\",\r\n"
        "  \"vr\"\r\n"
        " ],\r\n"
        " \"sequence\": 18446744073709551615,\r\n"
        " \"version\": \"2.4.1\"\r\n"
        "}";
    EXPECT_EQ(serialise_install_record(sample_manifest(), selected), expected);
}

TEST(SerialiseRecord, EmptyMembersAreWrittenCompact) {
    Manifest m;
    m.version = "1";
    m.files = {file("nvngx_dlss.dll", kH2)};
    const bool none[5] = {};
    EXPECT_EQ(serialise_install_record(m, none),
              "{\r\n \"components\": [],\r\n \"files\": {},\r\n \"offered\": [\r\n  \"core\",\r\n"
              "  \"nvidia\",\r\n  \"amd\",\r\n  \"intel\",\r\n  \"vr\"\r\n ],\r\n"
              " \"sequence\": 0,\r\n \"version\": \"1\"\r\n}");
}

TEST(SerialiseRecord, EscapesOnlyWhatJsonRequires) {
    Manifest m;
    m.version = "1 \"q\"\nx";
    m.files = {file("a\\b\tc.txt", kH1)};
    const bool core[5] = {true};
    const std::string text = serialise_install_record(m, core);
    EXPECT_NE(text.find("\"a\\\\b\\tc.txt\": "), std::string::npos);
    EXPECT_NE(text.find("\"version\": \"1 \\\"q\\\"\\nx\"\r\n}"), std::string::npos);
    // A line feed inside a string must not turn into CR LF.
    EXPECT_EQ(text.find("\r\\n"), std::string::npos);
}

TEST(SerialiseRecord, DeselectedComponentKeepsItsOffer) {
    const bool noNvidia[5] = {true, false, true, true, true};
    const nlohmann::json r =
        parse_install_record_text(serialise_install_record(sample_manifest(), noNvidia));
    EXPECT_FALSE(r["files"].contains("nvngx_dlss.dll"));
    EXPECT_TRUE(r["files"].contains("plannix.exe"));
    EXPECT_EQ(r["components"], nlohmann::json({"core", "amd", "intel", "vr"}));
    EXPECT_EQ(r["offered"], nlohmann::json({"core", "nvidia", "amd", "intel", "vr"}));
}

TEST(SerialiseRecord, LaterDuplicateWins) {
    Manifest m;
    m.version = "1";
    m.files = {file("a.dll", kH1), file("a.dll", kH2)};
    const bool core[5] = {true};
    EXPECT_EQ(parse_install_record_text(serialise_install_record(m, core))["files"]["a.dll"], kH2);
}

TEST(SerialiseRecord, InvalidUtf8GivesNothing) {
    Manifest m;
    m.version = "1";
    m.files = {file("bad\xff.dll", kH1)};
    const bool core[5] = {true};
    EXPECT_EQ(serialise_install_record(m, core), "");
}

TEST(ParseRecordText, HostileTexts) {
    EXPECT_EQ(parse_install_record_text(""), nlohmann::json::object());
    EXPECT_EQ(parse_install_record_text("{\"files\": {\"a\": \"b\""), nlohmann::json::object());
    EXPECT_EQ(parse_install_record_text("{} x"), nlohmann::json::object());
    EXPECT_EQ(parse_install_record_text("\xff\xfe{}"), nlohmann::json::object());
    // Valid JSON that is not an object comes back as it is.
    EXPECT_TRUE(parse_install_record_text("null").is_null());
    EXPECT_TRUE(parse_install_record_text("[1,2]").is_array());
    EXPECT_TRUE(parse_install_record_text("\"files\"").is_string());
}

TEST(ParseRecordText, FilesMemberOnlyWhenAnObject) {
    const nlohmann::json empty = nlohmann::json::object();
    EXPECT_EQ(record_files_of(parse_install_record_text("null")), empty);
    EXPECT_EQ(record_files_of(parse_install_record_text("[{\"files\":{\"a\":\"b\"}}]")), empty);
    EXPECT_EQ(record_files_of(parse_install_record_text("{\"files\":[\"a\"]}")), empty);
    EXPECT_EQ(record_files_of(parse_install_record_text("{\"files\":\"a\"}")), empty);
    EXPECT_EQ(record_files_of(parse_install_record_text("{\"version\":\"1\"}")), empty);
    EXPECT_EQ(record_files_of(parse_install_record_text("{\"files\":{\"a\":\"b\"},\"x\":1}")),
              nlohmann::json({{"a", "b"}}));
}

TEST_F(RecordFolder, WriteThenReadBack) {
    const bool selected[5] = {true, true, false, false, false};
    ASSERT_TRUE(write_install_record(wdir, sample_manifest(), selected));
    EXPECT_EQ(slurp(record()), serialise_install_record(sample_manifest(), selected));
    EXPECT_FALSE(fs::exists(dir / "install.json.tmp"));

    const nlohmann::json r = read_install_record_at(wdir);
    EXPECT_EQ(r["version"], "2.4.1");
    EXPECT_EQ(r["components"], nlohmann::json({"core", "nvidia"}));
    const nlohmann::json files = read_install_record_files(wdir);
    EXPECT_EQ(files.size(), 3u);
    EXPECT_EQ(files["ф/планикс.txt"], kH4);
    EXPECT_EQ(files["nvngx_dlss.dll"], kH2);
}

TEST_F(RecordFolder, WriteReplacesAndDropsForeignMembers) {
    spit(record(), "{\"version\":\"0.9\",\"extra\":{\"k\":1},\"files\":{\"old.dll\":\"x\"}}");
    EXPECT_EQ(read_install_record_at(wdir)["extra"]["k"], 1);
    const bool core[5] = {true};
    ASSERT_TRUE(write_install_record(wdir, sample_manifest(), core));
    const nlohmann::json r = read_install_record_at(wdir);
    EXPECT_FALSE(r.contains("extra"));
    EXPECT_FALSE(r["files"].contains("old.dll"));
    EXPECT_EQ(r["version"], "2.4.1");
}

TEST_F(RecordFolder, UnusableRecordsReadAsEmpty) {
    const nlohmann::json empty = nlohmann::json::object();
    EXPECT_EQ(read_install_record_at(wdir), empty); // no file
    EXPECT_EQ(read_install_record_files(wdir), empty);
    EXPECT_EQ(read_install_record_at(wdir + L"/missing-folder"), empty);

    spit(record(), "");
    EXPECT_EQ(read_install_record_at(wdir), empty);
    spit(record(), "{\"files\": {\"plannix.exe\": \"ab");
    EXPECT_EQ(read_install_record_at(wdir), empty);
    EXPECT_EQ(read_install_record_files(wdir), empty);
    spit(record(), "null");
    EXPECT_TRUE(read_install_record_at(wdir).is_null());
    EXPECT_EQ(read_install_record_files(wdir), empty);
    spit(record(), "[\"plannix.exe\"]");
    EXPECT_TRUE(read_install_record_at(wdir).is_array());
    EXPECT_EQ(read_install_record_files(wdir), empty);
    spit(record(), "{\"files\": [\"plannix.exe\"]}");
    EXPECT_EQ(read_install_record_files(wdir), empty);
    spit(record(), "{\"files\": \"plannix.exe\"}");
    EXPECT_EQ(read_install_record_files(wdir), empty);

    fs::remove(record());
    fs::create_directory(record());
    EXPECT_EQ(read_install_record_at(wdir), empty);
}

TEST_F(RecordFolder, AcceptsAnyFormattingAndAByteOrderMark) {
    spit(record(), "\xef\xbb\xbf{\"files\":{\"a.dll\":\"h\"},\n\n\"version\" : \"3\", "
                   "\"offered\":[\"core\",\"nvidia\",\"amd\",\"intel\",\"vr\"],"
                   "\"components\" :[\"core\"]}");
    EXPECT_EQ(read_install_record_files(wdir), nlohmann::json({{"a.dll", "h"}}));
}

TEST_F(RecordFolder, FailedTempWriteLeavesTheOldRecord) {
    const std::string old = "{\"version\":\"old\"}";
    spit(record(), old);
    fs::create_directory(dir / "install.json.tmp");
    const bool core[5] = {true};
    EXPECT_FALSE(write_install_record(wdir, sample_manifest(), core));
    EXPECT_EQ(slurp(record()), old);
    EXPECT_TRUE(fs::is_directory(dir / "install.json.tmp")); // not ours to delete
}

TEST_F(RecordFolder, FailedMoveRemovesTheTempFile) {
    fs::create_directories(record() / "inside");
    const bool core[5] = {true};
    EXPECT_FALSE(write_install_record(wdir, sample_manifest(), core));
    EXPECT_TRUE(fs::is_directory(record() / "inside"));
    EXPECT_FALSE(fs::exists(dir / "install.json.tmp"));
}

TEST_F(RecordFolder, StaleTempFileIsOverwritten) {
    spit(dir / "install.json.tmp", std::string(100000, 'x'));
    const bool core[5] = {true};
    ASSERT_TRUE(write_install_record(wdir, sample_manifest(), core));
    EXPECT_EQ(slurp(record()), serialise_install_record(sample_manifest(), core));
    EXPECT_FALSE(fs::exists(dir / "install.json.tmp"));
}

TEST_F(RecordFolder, UnwritableInputsFailWithoutTouchingTheRecord) {
    const std::string old = "{\"version\":\"old\"}";
    spit(record(), old);
    Manifest bad = sample_manifest();
    bad.files.push_back(file("x\xc3.dll", kH1));
    const bool core[5] = {true};
    EXPECT_FALSE(write_install_record(wdir, bad, core));
    EXPECT_EQ(slurp(record()), old);
    EXPECT_FALSE(write_install_record(wdir + L"/no/such/folder", sample_manifest(), core));
}

// Another program's install.json in the folder of setup.exe is never taken for an installation, so
// the files its keys name are never deleted.
TEST_F(RecordFolder, OnlySetupsOwnRecordIsTrustedWithItsFiles) {
    const std::string files = "\"files\": {\"report.docx\": \"h\"}";
    const std::string offered = "\"offered\": [\"core\", \"nvidia\", \"amd\", \"intel\", \"vr\"]";
    const struct {
        std::string text;
        bool own;
    } cases[] = {
        {"{" + files + ", " + offered + ", \"components\": [\"core\"]}", true},
        {"{" + files + ", " + offered + ", \"components\": [\"amd\", \"core\"]}", true},
        {"{" + files + "}", false},
        {"{" + files + ", " + offered + "}", false},
        {"{" + files + ", " + offered + ", \"components\": [\"amd\"]}", false},
        {"{" + files + ", " + offered + ", \"components\": \"core\"}", false},
        {"{" + files + ", \"offered\": [\"core\", \"nvidia\", \"amd\", \"intel\"], " +
             "\"components\": [\"core\"]}",
         false},
        {"{" + files + ", \"offered\": [\"core\", \"nvidia\", \"amd\", \"intel\", \"VR\"], " +
             "\"components\": [\"core\"]}",
         false},
        {"[" + offered.substr(10) + "]", false},
    };
    for (const auto& c : cases) {
        spit(record(), c.text);
        EXPECT_EQ(is_own_install_record(read_install_record_at(wdir)), c.own) << c.text;
        EXPECT_EQ(read_install_record_files(wdir).contains("report.docx"), c.own) << c.text;
    }
    // What Setup writes is its own, whatever the selection.
    const bool core[5] = {true};
    ASSERT_TRUE(write_install_record(wdir, sample_manifest(), core));
    EXPECT_TRUE(is_own_install_record(read_install_record_at(wdir)));
}

// The diff finds a recorded file under every spelling that names it: "Fonts/UI.ttf" for
// "fonts/ui.ttf".
TEST(RecordedHashes, AFileIsFoundUnderEverySpellingThatNamesIt) {
    const nlohmann::json files = {{"Fonts/UI.ttf", kH1}, {"data\\x.bin", kH2}, {"Шрифт.TTF", kH3},
                                  {"twice.txt", kH1},    {"TWICE.txt", kH2},   {"same.txt", kH4},
                                  {"./SAME.txt", kH4},   {"odd.txt", 42}};
    const RecordedHashes recorded = recorded_hashes_by_name(files);
    const std::pair<const char*, std::string> lookups[] = {
        {"fonts/ui.ttf", kH1}, {"FONTS\\ui.TTF", kH1}, {"data/x.bin", kH2},
        {"шрифт.ttf", kH3},    {"twice.txt", ""},      {"same.txt", kH4},
        {"odd.txt", ""},       {"fonts/ui.tt", ""},    {"missing", ""}};
    for (const auto& [path, hash] : lookups)
        EXPECT_EQ(recorded_hash_of(recorded, path), hash) << path;
}

// An obsolete file that cannot be deleted stays in the record with its old hash, so a later run
// removes it.
TEST(SerialiseRecord, UndeletedObsoleteEntriesStayWithTheirOldHash) {
    const bool core[5] = {true};
    const std::string plain = serialise_install_record(sample_manifest(), core);
    EXPECT_EQ(serialise_install_record(sample_manifest(), core, nlohmann::json::object()), plain);

    const nlohmann::json undeleted = {
        {"old/held.dll", kH3}, {"PLANNIX.EXE", kH2}, {"odd.txt", 42}, {"ф/Планикс.txt", kH2}};
    const std::string text = serialise_install_record(sample_manifest(), core, undeleted);
    nlohmann::json expected = parse_install_record_text(plain);
    expected["files"]["old/held.dll"] = kH3;
    expected["files"]["odd.txt"] = "";
    EXPECT_EQ(parse_install_record_text(text), expected);
    // The same layout: without the two added lines, the bytes are those of today's record.
    std::string without = text;
    for (const std::string& line :
         {std::string("  \"odd.txt\": \"\",\r\n"), "  \"old/held.dll\": \"" + kH3 + "\",\r\n"}) {
        const size_t at = without.find(line);
        ASSERT_NE(at, std::string::npos) << line;
        without.erase(at, line.size());
    }
    EXPECT_EQ(without, plain);
}

} // namespace
