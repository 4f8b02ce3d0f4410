#include "tools/release/release_site.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "base/whole_file.h"
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

bool is_version_label(const std::string& version) {
    if (version.empty() || !is_valid_utf8(version)) return false;
    for (size_t i = 0; i < version.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(version[i]);
        // C0 controls and DEL; C1 controls (U+0080-U+009F) are C2 80 to C2 9F in UTF-8.
        if (c < 0x20 || c == 0x7F) return false;
        if (c == 0xC2 && i + 1 < version.size() &&
            static_cast<unsigned char>(version[i + 1]) <= 0x9F)
            return false;
    }
    return true;
}

void locate_manifest(const fs::path& given, fs::path& manifestDir, fs::path& appDir) {
    appDir = release_app_dir(given);
    manifestDir = appDir;
    std::error_code ec;
    if (fs::exists(appDir / "manifest.json", ec) || !fs::exists(given / "manifest.json", ec))
        return;
    // SITE/history/<entry>: the site is two folders up (a trailing separator names no folder).
    fs::path entry = given;
    if (!entry.has_filename()) entry = entry.parent_path();
    manifestDir = entry;
    appDir = release_app_dir(entry.parent_path().parent_path());
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
        if (a.manifest.sequence != b.manifest.sequence)
            return a.manifest.sequence > b.manifest.sequence;
        if (a.manifest.version != b.manifest.version)
            return version_less(b.manifest.version, a.manifest.version);
        return a.dir < b.dir;
    });
    return entries;
}

bool next_sequence(const fs::path& releaseDir, uint64_t& sequence, std::string& error) {
    const fs::path appDir = release_app_dir(releaseDir);
    uint64_t highest = 0;
    std::error_code ec;
    if (fs::exists(appDir / "manifest.json", ec)) {
        StoredManifest current;
        if (!read_stored_manifest(appDir, current, error)) {
            error += "; move it away to publish over it";
            return false;
        }
        highest = current.manifest.sequence;
    }
    // History too: a sequence once published must never be published again, even when the
    // current manifest was moved away.
    for (const StoredManifest& entry : read_history(releaseDir))
        highest = std::max(highest, entry.manifest.sequence);
    if (highest == UINT64_MAX) {
        error = (appDir / "manifest.json").string() + ": the sequence cannot be raised any more";
        return false;
    }
    sequence = highest + 1;
    return true;
}

namespace {

// Keeps the manifest and signature in the app folder under history/<its sequence>/ before they
// are replaced; nothing to do when there are none or they equal `replacement`. Prints what it
// keeps. False with `error` set when they cannot be kept (nothing may replace them then).
bool keep_in_history(const fs::path& releaseDir, const std::string& replacement,
                     std::string& error) {
    const fs::path appDir = release_app_dir(releaseDir);
    StoredManifest current;
    std::string text;
    if (!read_whole_file(appDir / "manifest.json", text) || text == replacement) return true;
    if (!read_stored_manifest(appDir, current, error)) {
        error += "; move it away to publish over it";
        return false;
    }
    const fs::path target = history_dir(releaseDir) / std::to_string(current.manifest.sequence);
    // An entry of that name holding another manifest (an old site's folder named "0", say)
    // is the publisher's to sort out, not to overwrite.
    std::string kept;
    if (read_whole_file(target / "manifest.json", kept) && kept != current.text) {
        error = target.string() + " already holds another manifest; move it away to publish";
        return false;
    }
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
    std::printf("kept the replaced manifest (version %s) in %s\n", current.manifest.version.c_str(),
                target.c_str());
    return true;
}

} // namespace

bool publish_manifest(const fs::path& releaseDir, EVP_PKEY* key, const std::string& text,
                      std::string& error) {
    const fs::path appDir = release_app_dir(releaseDir);
    const std::vector<uint8_t> signature = sign_raw(key, text);
    if (signature.size() != kRawSignatureSize || !verify_raw(key, text, signature)) {
        error = "signing failed";
        return false;
    }
    if (!keep_in_history(releaseDir, text, error)) return false;
    if (!write_replacing(appDir / "manifest.json", text) ||
        !write_replacing(appDir / "manifest.sig", base64_encode(signature))) {
        error = "cannot write the manifest into " + appDir.string();
        return false;
    }
    // Self-check: what is on disk is what was signed, and Setup's own parser accepts it.
    std::string written;
    Manifest check;
    if (!read_whole_file(appDir / "manifest.json", written) || written != text ||
        !parse_manifest(written, check)) {
        error = (appDir / "manifest.json").string() +
                ": Setup's parser rejects the manifest just written";
        return false;
    }
    return true;
}
