#pragma once
// The publisher's site folder: the current release under plannix/app/, the manifests that
// later publications replaced under history/<sequence>/ (Setup never sees those), and what
// each manifest needs served. Sites made before manifests had a sequence keep their history
// folders named by version; those are read as sequence 0, ordered among themselves by version.
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "catalogue/manifest.h"
#include "tools/release/release_crypto.h"

// RELEASE_DIR/history: one folder per replaced manifest, named by its sequence.
std::filesystem::path history_dir(const std::filesystem::path& releaseDir);

// A version label is the publisher's free text: any non-empty UTF-8 without control characters.
bool is_version_label(const std::string& version);

// Where the manifest of `given` lies and where the blobs it names do: a release folder's
// plannix/app/ for both, or a history entry (a folder holding manifest.json) and the app folder
// of the site whose history/ holds it.
void locate_manifest(const std::filesystem::path& given, std::filesystem::path& manifestDir,
                     std::filesystem::path& appDir);

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

// The history entries, highest sequence first; entries of one sequence (those of a site made
// before sequences, all 0) highest version first, numbers compared as numbers ("1.10" above
// "1.9"). Those whose manifest cannot be read or parsed come last, with their problem.
std::vector<StoredManifest> read_history(const std::filesystem::path& releaseDir);

// The sequence the next publication gets: one more than the highest of the site's current
// manifest and its history (1 for a new site). False with `error` set when the current manifest
// cannot be read (nothing may be published over it then) or the sequence is exhausted.
bool next_sequence(const std::filesystem::path& releaseDir, uint64_t& sequence, std::string& error);

// Signs `text` with `key` and makes it the site's current manifest: the manifest and signature
// it replaces go to history/<their sequence>/ first, and Setup's own parser must accept what
// was written. False with `error` set, the current manifest untouched unless the write itself
// failed half-way.
bool publish_manifest(const std::filesystem::path& releaseDir, EVP_PKEY* key,
                      const std::string& text, std::string& error);
