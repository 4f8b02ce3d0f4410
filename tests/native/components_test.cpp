#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>

#include "catalogue/components.h"
#include "catalogue/manifest.h"

namespace {

TEST(ComponentCatalogue, RowsInOrder) {
    const char* ids[] = {"core", "nvidia", "amd", "intel", "vr"};
    for (int n = 0; n < kComponentCount; ++n)
        EXPECT_STREQ(kComponents[n].id, ids[n]);
    EXPECT_STREQ(kComponents[0].title, L"Планикс");
    EXPECT_STREQ(kComponents[4].title, L"VR-очки XREAL");
    EXPECT_STREQ(kComponents[2].description, L"видеокарты AMD Radeon (работает и на других)");
}

struct Classified {
    const char* path;
    int component;
};

TEST(ClassifyFile, EveryRule) {
    const Classified cases[] = {
        {"nvngx_dlss.dll", 1},
        {"nvngx_", 1},
        {"sl.dlss_g.dll", 1},
        {"sl.dlss", 1},
        {"sl.reflex.dll", 1},
        {"sl.pcl.dll", 1},
        {"amd_fidelityfx_dx12.dll", 2},
        {"licenses/amd-fsr.txt", 2},
        {"libxess.dll", 3},
        {"libxess_fg.dll", 3},
        {"licenses/intel-xess-eula.txt", 3},
        {"basalt.dll", 4},
        {"opencv_core4.dll", 4},
        {"fmt.dll", 4},
        {"tbb12.dll", 4},
        {"zlib1.dll", 4},
        {"onnxruntime.dll", 4},
        {"handmodels/left.onnx", 4},
        {"handmodels/", 4},
        {"plannix.exe", 0},
    };
    for (const Classified& c : cases)
        EXPECT_EQ(classify_file(c.path), c.component) << c.path;
}

TEST(ClassifyFile, CaseFoldsAsciiOnly) {
    EXPECT_EQ(classify_file("NVNGX_dlss.dll"), 1);
    EXPECT_EQ(classify_file("nvngx_dlss.dll"), 1);
    EXPECT_EQ(classify_file("SL.Reflex.DLL"), 1);
    EXPECT_EQ(classify_file("HandModels/Right.onnx"), 4);
    EXPECT_EQ(classify_file("LICENSES/AMD-FSR.TXT"), 2);
    // UTF-8 bytes are left as they are: a Cyrillic "с" is not a Latin "c".
    EXPECT_EQ(classify_file("open\xd1\x81v_core.dll"), 0);
}

TEST(ClassifyFile, EqualsRulesNeedTheWholePath) {
    EXPECT_EQ(classify_file("sl.reflex.dll.bak"), 0);
    EXPECT_EQ(classify_file("sl.reflex.dl"), 0);
    EXPECT_EQ(classify_file("licenses/amd-fsr.txt.old"), 0);
    EXPECT_EQ(classify_file("fmt.dll2"), 0);
    EXPECT_EQ(classify_file("x/fmt.dll"), 0);
    EXPECT_EQ(classify_file("zlib1.dl"), 0);
}

TEST(ClassifyFile, PrefixRulesLookAtTheWholePath) {
    EXPECT_EQ(classify_file("handmodels"), 0);
    EXPECT_EQ(classify_file("plugins/opencv_core.dll"), 0);
    EXPECT_EQ(classify_file("bin/nvngx_dlss.dll"), 0);
    EXPECT_EQ(classify_file("nvngx"), 0);
    EXPECT_EQ(classify_file("sl.dls"), 0);
    EXPECT_EQ(classify_file(""), 0);
    EXPECT_EQ(classify_file(std::string("nvngx_\0x", 8)), 1);
}

TEST(IsFileSelected, FollowsTheGivenSelection) {
    const bool pick[kComponentCount] = {true, false, true, false, true};
    ManifestFile f;
    f.path = "nvngx_dlss.dll";
    EXPECT_FALSE(is_file_selected(f, pick));
    f.path = "amd_fidelityfx_vk.dll";
    EXPECT_TRUE(is_file_selected(f, pick));
    f.path = "libxess.dll";
    EXPECT_FALSE(is_file_selected(f, pick));
    f.path = "handmodels/a";
    EXPECT_TRUE(is_file_selected(f, pick));
    f.path = "plannix.exe";
    EXPECT_TRUE(is_file_selected(f, pick));
}

struct Choice {
    bool selected[kComponentCount];
    bool installed[kComponentCount];
};

// Runs the choice over outputs preset all true and all false: an entry that the function
// forgets to set shows up as a difference between the two runs.
Choice choose(const nlohmann::json& record, const std::vector<uint32_t>& vendors) {
    Choice on, off;
    std::fill(std::begin(on.selected), std::end(on.selected), true);
    std::fill(std::begin(on.installed), std::end(on.installed), true);
    std::fill(std::begin(off.selected), std::end(off.selected), false);
    std::fill(std::begin(off.installed), std::end(off.installed), false);
    choose_components(record, vendors, on.selected, on.installed);
    choose_components(record, vendors, off.selected, off.installed);
    EXPECT_TRUE(std::equal(std::begin(on.selected), std::end(on.selected), off.selected));
    EXPECT_TRUE(std::equal(std::begin(on.installed), std::end(on.installed), off.installed));
    return off;
}

std::string bits(const bool (&flags)[kComponentCount]) {
    std::string s;
    for (bool b : flags)
        s += b ? '1' : '0';
    return s;
}

const nlohmann::json kAllOffered = {"core", "nvidia", "amd", "intel", "vr"};

TEST(ChooseComponents, NoRecordUsesTheHardware) {
    EXPECT_EQ(bits(choose(nlohmann::json::object(), {}).selected), "10000");
    EXPECT_EQ(bits(choose(nlohmann::json::object(), {kVendorAmd, kVendorIntel}).selected), "10110");
    EXPECT_EQ(bits(choose(nlohmann::json::object(), {kVendorNvidia}).selected), "11000");
    EXPECT_EQ(
        bits(choose(nlohmann::json::object(), {0x1414, kVendorNvidia, kVendorNvidia}).selected),
        "11000");
    EXPECT_EQ(bits(choose(nlohmann::json::object(), {kVendorAmd}).installed), "00000");
}

// The same table marks a row "ваша видеокарта" in the window.
TEST(MachineHasCardFor, OnlyTheUpscalersOfTheMachinesCardsAndNothingOutOfRange) {
    const std::vector<uint32_t> nvidiaAndIntel = {kVendorIntel, kVendorNvidia};
    EXPECT_FALSE(machine_has_card_for(0, nvidiaAndIntel));
    EXPECT_TRUE(machine_has_card_for(1, nvidiaAndIntel));
    EXPECT_FALSE(machine_has_card_for(2, nvidiaAndIntel));
    EXPECT_TRUE(machine_has_card_for(3, nvidiaAndIntel));
    EXPECT_FALSE(machine_has_card_for(4, {kVendorNvidia, kVendorAmd, kVendorIntel})); // VR never
    EXPECT_TRUE(machine_has_card_for(2, {kVendorAmd}));
    EXPECT_FALSE(machine_has_card_for(1, {}));
    EXPECT_FALSE(machine_has_card_for(-1, nvidiaAndIntel));
    EXPECT_FALSE(machine_has_card_for(kComponentCount, nvidiaAndIntel));
}

TEST(ChooseComponents, RecordsThatAreNotObjectsCountAsNone) {
    for (const nlohmann::json& r : {nlohmann::json(nullptr), nlohmann::json::array({"nvidia"}),
                                    nlohmann::json("components"), nlohmann::json(3)}) {
        Choice c = choose(r, {kVendorIntel});
        EXPECT_EQ(bits(c.selected), "10010") << r.dump();
        EXPECT_EQ(bits(c.installed), "00000") << r.dump();
    }
}

TEST(ChooseComponents, OfferedComponentKeepsTheUsersAnswer) {
    nlohmann::json r = {{"components", {"core", "amd"}},
                        {"offered", kAllOffered},
                        {"files", {{"nvngx_dlss.dll", "h"}}}};
    // NVIDIA was offered and declined: it stays off even with an NVIDIA card and its files.
    EXPECT_EQ(bits(choose(r, {kVendorNvidia}).selected), "10100");
    r["components"] = {"core", "vr"};
    EXPECT_EQ(bits(choose(r, {kVendorAmd}).selected), "10001");
}

TEST(ChooseComponents, ComponentNotOfferedBeforeGetsTheHardwareDefault) {
    const nlohmann::json r = {{"components", {"core", "nvidia", "vr"}},
                              {"offered", {"core", "nvidia", "amd"}},
                              {"files", {{"basalt.dll", "h"}, {"libxess.dll", "h"}}}};
    // intel and vr were never offered: hardware decides, files do not; vr is never a default.
    EXPECT_EQ(bits(choose(r, {kVendorIntel}).selected), "11010");
    EXPECT_EQ(bits(choose(r, {}).selected), "11000");
}

TEST(ChooseComponents, OfferedMustBeAnArrayOfStrings) {
    for (const nlohmann::json& offered :
         {nlohmann::json("nvidia"), nlohmann::json({{"nvidia", true}}), nlohmann::json({1, 2}),
          nlohmann::json(nullptr)}) {
        const nlohmann::json r = {{"components", {"core", "nvidia"}}, {"offered", offered}};
        EXPECT_EQ(bits(choose(r, {kVendorAmd}).selected), "10100") << offered.dump();
    }
    nlohmann::json r = {{"components", {"core", "nvidia"}}};
    EXPECT_EQ(bits(choose(r, {kVendorAmd}).selected), "10100");
}

TEST(ChooseComponents, ComponentsThatIsNotAnArrayMeansNoneChosen) {
    for (const nlohmann::json& chosen :
         {nlohmann::json(nullptr), nlohmann::json("nvidia"), nlohmann::json({{"nvidia", 1}})}) {
        const nlohmann::json r = {
            {"components", chosen}, {"offered", kAllOffered}, {"files", {{"nvngx_a", "h"}}}};
        EXPECT_EQ(bits(choose(r, {kVendorNvidia}).selected), "10000") << chosen.dump();
    }
}

TEST(ChooseComponents, RecordWithoutChoiceFollowsItsFiles) {
    const nlohmann::json r = {{"version", "1"}, {"files", {{"nvngx_dlss.dll", "h"}}}};
    EXPECT_EQ(bits(choose(r, {}).selected), "11000");
    EXPECT_EQ(bits(choose(r, {kVendorAmd}).selected), "11100");
    const nlohmann::json vr = {{"files", {{"HandModels/x", "h"}, {"plannix.exe", "h"}}}};
    EXPECT_EQ(bits(choose(vr, {}).selected), "10001");
}

TEST(ChooseComponents, FilesThatIsNotAnObjectCountsAsEmpty) {
    for (const nlohmann::json& files :
         {nlohmann::json::array({"nvngx_dlss.dll"}), nlohmann::json("nvngx_dlss.dll"),
          nlohmann::json(nullptr)}) {
        Choice c = choose({{"files", files}}, {});
        EXPECT_EQ(bits(c.selected), "10000") << files.dump();
        EXPECT_EQ(bits(c.installed), "00000") << files.dump();
    }
}

TEST(ChooseComponents, InstalledSetComesFromTheFilesKeys) {
    const nlohmann::json r = {{"components", {"core"}},
                              {"offered", kAllOffered},
                              {"files",
                               {{"plannix.exe", "h"},
                                {"libxess.dll", "h"},
                                {"handmodels/l.onnx", "h"},
                                {"bin/nvngx_x.dll", "h"}}}};
    Choice c = choose(r, {kVendorIntel});
    EXPECT_EQ(bits(c.installed), "10011");
    EXPECT_EQ(bits(c.selected), "10000");
    EXPECT_EQ(bits(choose({{"files", {{"zlib1.dll", 1}}}}, {}).installed), "00001");
}

} // namespace
