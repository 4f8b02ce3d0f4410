// The install record reader and the start-up choice over arbitrary bytes: never a crash, core
// always selected, and the installed set consistent with the usable "files" object.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalogue/components.h"
#include "catalogue/install_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const nlohmann::json record = parse_install_record_text(text);
    const nlohmann::json files = record_files_of(record);
    if (!files.is_object()) std::abort();

    const std::vector<uint32_t> vendors = {kVendorNvidia, kVendorAmd, kVendorIntel};
    bool selected[kComponentCount];
    bool installed[kComponentCount];
    choose_components(record, size % 2 ? vendors : std::vector<uint32_t>(), selected, installed);
    if (!selected[0]) std::abort();
    bool expected[kComponentCount] = {};
    for (auto it = files.begin(); it != files.end(); ++it)
        expected[classify_file(it.key())] = true;
    for (int n = 0; n < kComponentCount; ++n)
        if (installed[n] != expected[n]) std::abort();
    return 0;
}
