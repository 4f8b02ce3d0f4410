// The install record writer's Windows branch (CreateFileW, FlushFileBuffers, MoveFileExW) on the
// real file system of a Wine prefix, in a folder with a Cyrillic name.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>
#include <shellapi.h>

#include "base/whole_file.h"
#include "base/handles.h"
#include "base/paths.h"
#include "base/text.h"
#include "catalogue/install_record.h"
#include "catalogue/manifest.h"

namespace {

const std::wstring kFolder = L"Планикс — запись";

class RecordWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = temp_folder() + kFolder;
        remove_folder();
        ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr));
        manifest_.version = "2.0 «бета»";
        manifest_.files.push_back(
            {"plannix.exe", std::string(64, 'a'), std::string(64, 'b'), 3, 2});
        manifest_.files.push_back(
            {"данные/сцена.bin", std::string(64, 'c'), std::string(64, 'd'), 5, 4});
    }
    void TearDown() override { remove_folder(); }

    void remove_folder() {
        std::wstring from = dir_;
        from.push_back(L'\0');
        SHFILEOPSTRUCTW op = {};
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = FOF_NO_UI;
        SHFileOperationW(&op);
    }
    std::wstring file(const wchar_t* name) const { return join_path(dir_, name); }
    std::string contents(const wchar_t* name) const {
        std::string text;
        EXPECT_TRUE(read_whole_file(file(name), text));
        return text;
    }
    bool exists(const wchar_t* name) const {
        return GetFileAttributesW(file(name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::wstring dir_;
    Manifest manifest_;
    bool selected_[5] = {true, false, false, false, false};
};

TEST_F(RecordWriter, WritesAndReplacesTheRecordAndLeavesNoTemporaryFile) {
    const std::string expected = serialise_install_record(manifest_, selected_);
    ASSERT_FALSE(expected.empty());
    ASSERT_TRUE(write_file_flushed(file(L"install.json"), "{\"old\": true}"));
    ASSERT_TRUE(write_install_record(dir_, manifest_, selected_));
    EXPECT_EQ(contents(L"install.json"), expected);
    EXPECT_FALSE(exists(L"install.json.tmp"));
    EXPECT_EQ(read_install_record_at(dir_)["version"], "2.0 «бета»");
}

TEST_F(RecordWriter, ARecordThatCannotBeReplacedStaysAsItWas) {
    ASSERT_TRUE(write_file_flushed(file(L"install.json"), "old"));
    {
        // Another program holds the record without letting it be replaced.
        FileHandle held(CreateFileW(file(L"install.json").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(static_cast<bool>(held));
        EXPECT_FALSE(write_install_record(dir_, manifest_, selected_));
    }
    EXPECT_EQ(contents(L"install.json"), "old");
    EXPECT_FALSE(exists(L"install.json.tmp"));

    // A folder where the temporary file would go is not ours to remove.
    ASSERT_TRUE(CreateDirectoryW(file(L"install.json.tmp").c_str(), nullptr));
    EXPECT_FALSE(write_install_record(dir_, manifest_, selected_));
    EXPECT_EQ(contents(L"install.json"), "old");
    EXPECT_EQ(GetFileAttributesW(file(L"install.json.tmp").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

} // namespace
