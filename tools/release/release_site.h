#pragma once
// The publisher's site folder: the current release under plannix/app/, the manifests that
// releases replaced under history/<version>/ (Setup never sees those), and what each manifest
// needs served.
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "catalogue/manifest.h"
#include "tools/release/release_crypto.h"

// RELEASE_DIR/history: one folder per replaced release, named by its version.
std::filesystem::path history_dir(const std::filesystem::path& releaseDir);

// A version names a history folder, so it is kept to letters, digits and "._+-", and does not
// start with a dot.
bool is_folder_safe_version(const std::string& version);

// Every file under the app folder that a manifest needs, relative to that folder with "/"
// separators ("blobs/<sha256>.lzms", ...). Prune keeps exactly what the kept manifests name
// here, so anything a manifest makes the site serve is added here and nowhere else.
std::set<std::string> files_named(const Manifest& manifest);

// The key of a public.txt (88 base64 characters of X||Y), or null with `error` set.
PkeyPtr read_public_key(const std::string& path, std::string& error);

// Empty when dir/manifest.sig is a valid signature of `text` under `key`, else why not (with the
// signature file's path).
std::string signature_problem(EVP_PKEY* key, const std::filesystem::path& dir,
                              const std::string& text);

// A manifest with its signature as it lies in a folder (the app folder or a history entry).
struct StoredManifest {
    std::filesystem::path dir;
    std::string text;
    Manifest manifest;
    std::string problem; // why it cannot be read, from read_history; empty when it can
};

// Reads and parses dir/manifest.json with Setup's parser; false with `error` naming the file.
bool read_stored_manifest(const std::filesystem::path& dir, StoredManifest& out,
                          std::string& error);

// The history entries, highest version first (numbers compared as numbers, "1.10" above
// "1.9"); those whose manifest cannot be read or parsed come last, with their problem.
std::vector<StoredManifest> read_history(const std::filesystem::path& releaseDir);

// Keeps the manifest and signature in `appDir` under history/<its version>/ before a pack
// replaces them; nothing to do when there are none or they equal `replacement`. Prints what it
// keeps. False with `error` set when they cannot be kept (the pack must not go on then).
bool keep_in_history(const std::filesystem::path& releaseDir, const std::string& replacement,
                     std::string& error);
