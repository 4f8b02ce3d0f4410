#pragma once
// The fixed component catalogue and the path rules that sort files into components.
#include <cstdint>
#include <string>
#include <vector>
#include <nlohmann/json_fwd.hpp>

struct ManifestFile;

// Components: 0 core, then the four optional ones; it sizes every per-component record.
constexpr int kComponentCount = 5;

struct ComponentInfo {
    const char* id;
    const wchar_t* title;
    const wchar_t* description;
};

extern const ComponentInfo kComponents[kComponentCount];

constexpr uint32_t kVendorNvidia = 0x10DE;
constexpr uint32_t kVendorAmd = 0x1002;
constexpr uint32_t kVendorIntel = 0x8086;

// True when `vendorIds` holds the graphics card vendor that `component` is made for
// (components 1 to 3); the core, the VR glasses and numbers out of range have none.
bool machine_has_card_for(int component, const std::vector<uint32_t>& vendorIds);

// Component number 0..4 of a relative path (UTF-8, "/" separators).
int classify_file(const std::string& path);

// True when `selected` holds the file's component.
bool is_file_selected(const ManifestFile& file, const bool (&selected)[kComponentCount]);

// Start-up choice: fills `selected` (suggested) and `installed` from the install record
// (any JSON value; non-objects count as no record) and the hardware vendor ids.
void choose_components(const nlohmann::json& record, const std::vector<uint32_t>& vendorIds,
                       bool selected[kComponentCount], bool installed[kComponentCount]);
