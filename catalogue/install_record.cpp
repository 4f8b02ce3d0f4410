#include "catalogue/install_record.h"

#include <filesystem>

#include "app/files.h"
#include "app/names.h"
#include "app/state.h"
#include "catalogue/components.h"
#include "catalogue/manifest.h"

namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kTempName = L"install.json.tmp";

} // namespace

nlohmann::json parse_install_record_text(const std::string& text) {
    try {
        return nlohmann::json::parse(text);
    } catch (const std::exception&) {
        return nlohmann::json::object();
    }
}

nlohmann::json read_install_record_at(const std::wstring& dir) {
    try {
        std::string text;
        if (!read_whole_file(fs::path(dir) / kRecordFileName, text))
            return nlohmann::json::object();
        return parse_install_record_text(text);
    } catch (const std::exception&) {
        return nlohmann::json::object();
    }
}

nlohmann::json read_install_record() {
    return read_install_record_at(g_installDir);
}

nlohmann::json record_files_of(const nlohmann::json& record) {
    if (record.is_object()) {
        auto it = record.find("files");
        if (it != record.end() && it->is_object()) return *it;
    }
    return nlohmann::json::object();
}

nlohmann::json read_install_record_files(const std::wstring& dir) {
    return record_files_of(read_install_record_at(dir));
}

std::string serialise_install_record(const Manifest& manifest,
                                     const bool selected[kComponentCount]) {
    try {
        nlohmann::json files = nlohmann::json::object();
        for (const ManifestFile& file : manifest.files)
            if (selected[classify_file(file.path)]) files[file.path] = file.sha256;
        nlohmann::json offered = nlohmann::json::array();
        nlohmann::json components = nlohmann::json::array();
        for (int n = 0; n < kComponentCount; ++n) {
            offered.push_back(kComponents[n].id);
            if (selected[n]) components.push_back(kComponents[n].id);
        }
        nlohmann::json record = nlohmann::json::object();
        record["components"] = std::move(components);
        record["files"] = std::move(files);
        record["offered"] = std::move(offered);
        record["version"] = manifest.version;

        // Strings are escaped by dump, so every raw line feed is a line end of the layout.
        const std::string text = record.dump(1, ' ', false);
        std::string out;
        out.reserve(text.size() + text.size() / 16);
        for (char c : text) {
            if (c == '\n') out += '\r';
            out += c;
        }
        return out;
    } catch (const std::exception&) {
        return std::string(); // e.g. a path or version that is not valid UTF-8
    }
}

bool write_install_record(const std::wstring& dir, const Manifest& manifest,
                          const bool selected[kComponentCount]) {
    try {
        const std::string text = serialise_install_record(manifest, selected);
        if (text.empty()) return false;
        const fs::path folder(dir);
        const fs::path temp = folder / kTempName;
        if (!write_file_flushed(temp, text) || !move_replacing(temp, folder / kRecordFileName)) {
            // Only a file may be ours to remove: something else of that name (a folder, say)
            // made the open fail and is left alone.
            std::error_code ec;
            if (fs::is_regular_file(temp, ec)) fs::remove(temp, ec);
            return false;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
