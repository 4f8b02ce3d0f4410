#include <gtest/gtest.h>

#include <string>

#include "catalogue/file_names.h"

namespace {

TEST(FileNameKey, SeparatorsEmptyAndDotPartsAndCaseAreFolded) {
    const std::pair<std::string, std::string> cases[] = {
        {"plannix.exe", "PLANNIX.EXE"},
        {"Fonts/UI.ttf", "FONTS/UI.TTF"},
        {"fonts\\ui.ttf", "FONTS/UI.TTF"},
        {"./fonts//./ui.ttf/", "FONTS/UI.TTF"},
        {"шрифты/меню.txt", "ШРИФТЫ/МЕНЮ.TXT"},
        {"ёлка-ђ.png", "ЁЛКА-Ђ.PNG"},
        {"σοφία-ς-µ.txt", "ΣΟΦΊΑ-ς-µ.TXT"}, // final sigma and micro are names of their own
        {"straße-ÿ.txt", "STRAßE-Ÿ.TXT"},   // ß has no one-letter upper case
        {"čšž-ŀ.txt", "ČŠŽ-Ŀ.TXT"},
        {"..", ".."}, // not dropped: only "." is the folder itself
        {"", ""},
        {"a\xff\xc3/b", "A\xff\xc3/B"}, // not UTF-8: kept byte for byte
        {"日本.txt", "日本.TXT"},
    };
    for (const auto& [path, key] : cases)
        EXPECT_EQ(file_name_key(path), key) << path;
    EXPECT_TRUE(name_same_file("Data/Info.txt", "data\\info.TXT"));
    EXPECT_FALSE(name_same_file("data/info.txt", "data/info.txt.new"));
    EXPECT_FALSE(name_same_file("a/b", "a b"));
}

} // namespace
