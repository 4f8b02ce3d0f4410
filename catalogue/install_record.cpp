#include "catalogue/install_record.h"

#include <filesystem>
#include <unordered_set>

#include "base/whole_file.h"
#include "base/names.h"
#include "catalogue/components.h"
#include "catalogue/file_names.h"
#include "catalogue/manifest.h"

namespace fs = std::filesystem;

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

nlohmann::json record_files_of(const nlohmann::json& record) {
    if (record.is_object()) {
        auto it = record.find("files");
        if (it != record.end() && it->is_object()) return *it;
    }
    return nlohmann::json::object();
}

bool is_own_install_record(const nlohmann::json& record) {
    if (!record.is_object()) return false;
    const auto holds = [&](const char* member, const char* id) {
        const auto array = record.find(member);
        if (array == record.end() || !array->is_array()) return false;
        for (const nlohmann::json& item : *array)
            if (item.is_string() && item.get_ref<const std::string&>() == id) return true;
        return false;
    };
    for (const ComponentInfo& component : kComponents)
        if (!holds("offered", component.id)) return false;
    return holds("components", kComponents[0].id);
}

nlohmann::json read_install_record_files(const std::wstring& dir) {
    const nlohmann::json record = read_install_record_at(dir);
    return is_own_install_record(record) ? record_files_of(record) : nlohmann::json::object();
}

uint64_t recorded_sequence(const nlohmann::json& record) {
    if (!is_own_install_record(record)) return 0;
    const auto found = record.find("sequence");
    return found != record.end() && found->is_number_unsigned() ? found->get<uint64_t>() : 0;
}

uint64_t read_installed_sequence(const std::wstring& dir) {
    return recorded_sequence(read_install_record_at(dir));
}

RecordedHashes recorded_hashes_by_name(const nlohmann::json& files) {
    RecordedHashes recorded;
    if (!files.is_object()) return recorded;
    for (const auto& item : files.items()) {
        const std::string hash = item.value().is_string() ? item.value().get<std::string>() : "";
        const auto [at, fresh] = recorded.emplace(file_name_key(item.key()), hash);
        if (!fresh && at->second != hash) at->second.clear();
    }
    return recorded;
}

std::string recorded_hash_of(const RecordedHashes& recorded, const std::string& path) {
    const auto it = recorded.find(file_name_key(path));
    return it == recorded.end() ? std::string() : it->second;
}

std::string serialise_install_record(const Manifest& manifest, const bool selected[kComponentCount],
                                     const nlohmann::json& undeleted) {
    try {
        nlohmann::json files = nlohmann::json::object();
        for (const ManifestFile& file : manifest.files)
            if (selected[classify_file(file.path)]) files[file.path] = file.sha256;
        // Never a second key for a file that the release lists.
        if (!undeleted.empty()) {
            std::unordered_set<std::string> listed;
            for (const auto& item : files.items())
                listed.insert(file_name_key(item.key()));
            for (const auto& item : undeleted.items())
                if (listed.insert(file_name_key(item.key())).second)
                    files[item.key()] =
                        item.value().is_string() ? item.value() : nlohmann::json("");
        }
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
        record["sequence"] = manifest.sequence;
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
                          const bool selected[kComponentCount], const nlohmann::json& undeleted) {
    try {
        return write_install_record_text(dir,
                                         serialise_install_record(manifest, selected, undeleted));
    } catch (const std::exception&) {
        return false;
    }
}

bool write_install_record_text(const std::wstring& dir, const std::string& text) {
    try {
        if (text.empty()) return false;
        const fs::path folder(dir);
        const fs::path temp = folder / kRecordTempName;
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
