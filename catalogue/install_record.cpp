#include "catalogue/install_record.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include "app/handles.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "app/state.h"
#include "catalogue/components.h"
#include "catalogue/manifest.h"

namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kRecordName = L"install.json";
constexpr const wchar_t* kTempName = L"install.json.tmp";

bool read_whole_file(const fs::path& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Writes and flushes the data to disk before the caller moves the file over the record, so the
// record is either the old one or the complete new one even across a power cut.
bool write_file_flushed(const fs::path& path, const std::string& data) {
#ifdef _WIN32
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < data.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
        DWORD written = 0;
        ok =
            WriteFile(file.get(), data.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    // Flushed data has reached the disk; what closing could still report is already known.
    return ok && FlushFileBuffers(file.get());
#else
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    return ok;
#endif
}

bool replace_file(const fs::path& from, const fs::path& to) {
#ifdef _WIN32
    return MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

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
        if (!read_whole_file(fs::path(dir) / kRecordName, text)) return nlohmann::json::object();
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

std::string serialise_install_record(const Manifest& manifest, const bool selected[5]) {
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
                          const bool selected[5]) {
    try {
        const std::string text = serialise_install_record(manifest, selected);
        if (text.empty()) return false;
        const fs::path folder(dir);
        const fs::path temp = folder / kTempName;
        if (!write_file_flushed(temp, text) || !replace_file(temp, folder / kRecordName)) {
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
