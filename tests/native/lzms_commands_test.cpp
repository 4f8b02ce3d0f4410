// plannix-release compress / unpack, run as the publisher runs them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "native/lzms_test_support.h"
#include "transport/lzms_container.h"

namespace {

namespace fs = std::filesystem;
using lzms_test::Bytes;

class LzmsCommands : public testing::Test {
  protected:
    void SetUp() override {
        dir =
            fs::temp_directory_path() /
            ("lzms_commands_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    int run(const std::string& args) {
        const std::string cmd = std::string("\"") + PLANNIX_RELEASE_TOOL + "\" " + args + " 2>" +
                                (dir / "stderr.txt").string();
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string path(const char* name) const { return "\"" + (dir / name).string() + "\""; }
    void write(const char* name, const Bytes& data) const {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()),
                   static_cast<std::streamsize>(data.size()));
    }
    Bytes read(const char* name) const { return lzms_test::read_file(dir / name); }

    fs::path dir;
};

TEST_F(LzmsCommands, CompressThenUnpack) {
    for (const Bytes& data :
         {Bytes{}, Bytes{'x'}, lzms_test::source_text(200000), lzms_test::random_bytes(5000, 2)}) {
        write("in", data);
        ASSERT_EQ(run("compress " + path("in") + " " + path("blob")), 0);
        const Bytes blob = read("blob");
        Bytes direct(data.size());
        EXPECT_TRUE(lzms_container_decode(blob.data(), blob.size(), direct.data(), data.size()));
        EXPECT_EQ(direct, data);
        ASSERT_EQ(
            run("unpack " + path("blob") + " " + std::to_string(data.size()) + " " + path("out")),
            0);
        EXPECT_EQ(read("out"), data);
    }
}

TEST_F(LzmsCommands, UnpackFailsWithAReason) {
    const Bytes text = lzms_test::source_text(50000);
    write("in", text);
    ASSERT_EQ(run("compress " + path("in") + " " + path("blob")), 0);
    const std::string blob = path("blob");
    const std::string size = std::to_string(text.size());
    EXPECT_NE(run("unpack " + blob + " " + std::to_string(text.size() + 1) + " " + path("out")), 0);
    EXPECT_FALSE(fs::exists(dir / "out"));
    EXPECT_FALSE(lzms_test::read_file(dir / "stderr.txt").empty());
    EXPECT_NE(run("unpack " + blob + " 99999999999999 " + path("out")), 0);
    EXPECT_NE(run("unpack " + blob + " -1 " + path("out")), 0);
    EXPECT_NE(run("unpack " + blob + " 12x " + path("out")), 0);
    EXPECT_NE(run("unpack " + path("missing") + " " + size + " " + path("out")), 0);
    Bytes cut = read("blob");
    cut.resize(cut.size() - 1);
    write("cut", cut);
    EXPECT_NE(run("unpack " + path("cut") + " " + size + " " + path("out")), 0);
    EXPECT_FALSE(fs::exists(dir / "out"));
    EXPECT_EQ(run("unpack " + blob + " " + size), 2);
    EXPECT_EQ(run("compress " + path("in")), 2);
}

} // namespace
