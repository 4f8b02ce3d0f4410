#include "catalogue/components.h"

#include <nlohmann/json.hpp>

#include "catalogue/install_record.h"
#include "catalogue/manifest.h"

const ComponentInfo kComponents[kComponentCount] = {
    {"core", L"Планикс", L"программа, DirectX 12 и нужные библиотеки — обязательно"},
    {"nvidia", L"Ускорение NVIDIA DLSS",
     L"видеокарты NVIDIA RTX: масштабирование, шумодав, генерация кадров"},
    {"amd", L"Ускорение AMD FSR", L"видеокарты AMD Radeon (работает и на других)"},
    {"intel", L"Ускорение Intel XeSS", L"видеокарты Intel Arc и встроенная графика Intel"},
    {"vr", L"VR-очки XREAL", L"положение в пространстве и руки по камерам очков"},
};

namespace {

struct ClassRule {
    bool prefix; // starts with, else equals
    const char* text;
    int component;
};

// First match wins; the tests look at the whole relative path, not the last name alone.
const ClassRule kClassRules[] = {
    {true, "nvngx_", 1},         {true, "sl.dlss", 1},
    {false, "sl.reflex.dll", 1}, {false, "sl.pcl.dll", 1},
    {true, "amd_fidelityfx", 2}, {false, "licenses/amd-fsr.txt", 2},
    {true, "libxess", 3},        {true, "licenses/intel-xess", 3},
    {false, "basalt.dll", 4},    {true, "opencv_", 4},
    {false, "fmt.dll", 4},       {false, "tbb12.dll", 4},
    {false, "zlib1.dll", 4},     {false, "onnxruntime.dll", 4},
    {true, "handmodels/", 4},
};

// The graphics card each component serves; 0 for the core and the VR glasses.
const uint32_t kCardVendor[kComponentCount] = {0, kVendorNvidia, kVendorAmd, kVendorIntel, 0};

// The member `key` of an object record, or null (operator[] on a const object must not be
// used for keys that may be missing).
const nlohmann::json* member(const nlohmann::json& record, const char* key) {
    if (!record.is_object()) return nullptr;
    auto it = record.find(key);
    return it == record.end() ? nullptr : &*it;
}

bool array_holds(const nlohmann::json* array, const char* text) {
    if (array == nullptr || !array->is_array()) return false;
    for (const nlohmann::json& item : *array)
        if (item.is_string() && item.get_ref<const std::string&>() == text) return true;
    return false;
}

} // namespace

bool machine_has_card_for(int component, const std::vector<uint32_t>& vendorIds) {
    if (component < 0 || component >= kComponentCount || kCardVendor[component] == 0) return false;
    for (uint32_t id : vendorIds)
        if (id == kCardVendor[component]) return true;
    return false;
}

int classify_file(const std::string& path) {
    std::string lower = path;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const ClassRule& rule : kClassRules) {
        const bool match = rule.prefix ? lower.starts_with(rule.text) : lower == rule.text;
        if (match) return rule.component;
    }
    return 0;
}

bool is_file_selected(const ManifestFile& file, const bool (&selected)[kComponentCount]) {
    return selected[classify_file(file.path)];
}

void choose_components(const nlohmann::json& record, const std::vector<uint32_t>& vendorIds,
                       bool selected[kComponentCount], bool installed[kComponentCount]) {
    bool inFiles[kComponentCount] = {};
    const nlohmann::json files = record_files_of(record);
    for (auto it = files.begin(); it != files.end(); ++it)
        inFiles[classify_file(it.key())] = true;

    const nlohmann::json* chosen = member(record, "components");
    const nlohmann::json* offered = member(record, "offered");
    const bool hasChoice = chosen != nullptr;
    selected[0] = true;
    for (int n = 1; n < kComponentCount; ++n) {
        const char* id = kComponents[n].id;
        if (hasChoice && array_holds(offered, id))
            selected[n] = array_holds(chosen, id);
        else if (!hasChoice && inFiles[n])
            selected[n] = true;
        else
            selected[n] = machine_has_card_for(n, vendorIds);
    }
    for (int n = 0; n < kComponentCount; ++n)
        installed[n] = inFiles[n];
}
