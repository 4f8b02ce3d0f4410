#include "tools/release/release_site.h"

#include <algorithm>
#include <cstdio>

#include "app/files.h"
#include "tools/release/release_files.h"
#include "tools/release/release_packs.h"

namespace fs = std::filesystem;

namespace {

std::string strip(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Runs of digits compare as numbers, everything else byte by byte.
bool version_less(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            size_t ei = i, ej = j;
            while (ei < a.size() && is_digit(a[ei]))
                ++ei;
            while (ej < b.size() && is_digit(b[ej]))
                ++ej;
            // Leading zeros do not count; then the longer run is the larger number.
            std::string x = a.substr(i, ei - i), y = b.substr(j, ej - j);
            x.erase(0, std::min(x.find_first_not_of('0'), x.size()));
            y.erase(0, std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace

fs::path history_dir(const fs::path& releaseDir) {
    return releaseDir / "history";
}

bool is_folder_safe_version(const std::string& version) {
    if (version.empty() || version[0] == '.') return false;
    return std::all_of(version.begin(), version.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '.' ||
               c == '_' || c == '+' || c == '-';
    });
}

std::set<std::string> files_named(const Manifest& manifest) {
    std::set<std::string> named;
    for (const ManifestFile& f : manifest.files) {
        named.insert(blob_path(fs::path(), f.sha256).generic_string());
        for (const ManifestPatch& p : f.patches)
            named.insert(patch_path(fs::path(), p.sha256).generic_string());
    }
    for (const ManifestPack& p : manifest.packs)
        named.insert(pack_path(fs::path(), p.sha256).generic_string());
    return named;
}

PkeyPtr read_public_key(const std::string& path, std::string& error) {
    std::string text;
    std::vector<uint8_t> raw;
    if (!read_whole_file(path, text) || !base64_decode_strict(strip(text), raw) ||
        raw.size() != kRawPublicKeySize) {
        error = path + ": not a public key (88 base64 characters of X||Y)";
        return nullptr;
    }
    PkeyPtr key = public_key_from_raw(raw);
    if (!key) error = path + ": not a point of the P-256 curve";
    return key;
}

std::string signature_problem(EVP_PKEY* key, const fs::path& dir, const std::string& text) {
    const fs::path sigPath = dir / "manifest.sig";
    std::string sigText;
    std::vector<uint8_t> signature;
    if (!read_whole_file(sigPath, sigText)) return sigPath.string() + ": missing or unreadable";
    if (!base64_decode_strict(sigText, signature) || signature.size() != kRawSignatureSize)
        return sigPath.string() + ": not plain base64 of a 64-byte r||s signature";
    if (!verify_raw(key, text, signature))
        return sigPath.string() + ": the signature does not match manifest.json";
    return std::string();
}

bool read_stored_manifest(const fs::path& dir, StoredManifest& out, std::string& error) {
    out.dir = dir;
    const fs::path path = dir / "manifest.json";
    if (!read_whole_file(path, out.text)) {
        error = path.string() + ": missing or unreadable";
        return false;
    }
    if (!parse_manifest(out.text, out.manifest)) {
        error = path.string() + ": rejected by Setup's manifest parser";
        return false;
    }
    return true;
}

std::vector<StoredManifest> read_history(const fs::path& releaseDir) {
    std::vector<StoredManifest> entries;
    std::error_code ec;
    for (fs::directory_iterator it(history_dir(releaseDir), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!it->is_directory()) continue;
        StoredManifest entry;
        if (!read_stored_manifest(it->path(), entry, entry.problem)) entry.manifest = Manifest();
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(), [](const StoredManifest& a, const StoredManifest& b) {
        if (a.problem.empty() != b.problem.empty()) return a.problem.empty();
        if (a.manifest.version != b.manifest.version)
            return version_less(b.manifest.version, a.manifest.version);
        return a.dir < b.dir;
    });
    return entries;
}

bool keep_in_history(const fs::path& releaseDir, const std::string& replacement,
                     std::string& error) {
    const fs::path appDir = release_app_dir(releaseDir);
    StoredManifest current;
    std::string text;
    if (!read_whole_file(appDir / "manifest.json", text) || text == replacement) return true;
    if (!read_stored_manifest(appDir, current, error)) {
        error += "; move it away to pack over it";
        return false;
    }
    const std::string& version = current.manifest.version;
    if (!is_folder_safe_version(version)) {
        error = (appDir / "manifest.json").string() + ": version \"" + version +
                "\" cannot name a history folder";
        return false;
    }
    const fs::path target = history_dir(releaseDir) / version;
    std::string sig;
    std::error_code ec;
    fs::create_directories(target, ec);
    // The signature first: a history entry with a manifest always has its signature too.
    if (ec || !read_whole_file(appDir / "manifest.sig", sig) ||
        !write_replacing(target / "manifest.sig", sig) ||
        !write_replacing(target / "manifest.json", current.text)) {
        error = "cannot keep the replaced manifest in " + target.string();
        return false;
    }
    std::printf("kept the replaced release %s in %s\n", version.c_str(), target.c_str());
    return true;
}
