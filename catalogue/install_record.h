#pragma once
// install.json in the install folder: what the last successful run put there.
#include <string>
#include <unordered_map>
#include <nlohmann/json.hpp>

#include "catalogue/components.h" // kComponentCount

struct Manifest;

// The record parsed from its text: an empty object when it is not JSON, any other JSON value
// as it is (readers then find none of the members they look for).
nlohmann::json parse_install_record_text(const std::string& text);
// The record's "files" member when it is an object, else an empty object.
nlohmann::json record_files_of(const nlohmann::json& record);

// True when the record is one that Setup wrote: an object whose "offered" lists the five
// component identifiers and whose "components" includes "core". Another program's install.json
// marks no installation, and its keys name nothing Setup may delete.
bool is_own_install_record(const nlohmann::json& record);

// The sequence of the release that Setup's own record says is installed: 0 for a record
// written before releases had one, and for a record that is not Setup's own.
uint64_t recorded_sequence(const nlohmann::json& record);
// The same, read from install.json in `dir`.
uint64_t read_installed_sequence(const std::wstring& dir);

// Parsed install.json of `dir`, or an empty object when missing, unreadable or not JSON.
nlohmann::json read_install_record_at(const std::wstring& dir);
// The "files" object of Setup's own record in `dir`, or an empty object when there is none
// usable or the record is someone else's.
nlohmann::json read_install_record_files(const std::wstring& dir);

// The recorded hashes of a "files" object by file_name_key, so that the diff finds a file
// whatever letter case or separators its key is spelled with. Keys that name one file with
// different hashes, or with a value that is not a string, give an empty hash: nothing matches.
using RecordedHashes = std::unordered_map<std::string, std::string>;
RecordedHashes recorded_hashes_by_name(const nlohmann::json& files);
// The recorded hash of the file that `path` names, or empty.
std::string recorded_hash_of(const RecordedHashes& recorded, const std::string& path);

// The exact bytes of the record for this manifest and selection. `undeleted` holds obsolete
// entries (key -> old hash) whose files could not be deleted: they stay in "files" so that the
// next run and the removal try again.
std::string serialise_install_record(const Manifest& manifest, const bool selected[kComponentCount],
                                     const nlohmann::json& undeleted = nlohmann::json::object());
// Writes `text` as install.json in `dir`, flushed, through a temporary file and a replacing move.
bool write_install_record_text(const std::wstring& dir, const std::string& text);
// Writes install.json in `dir` through a temporary file and a replacing move.
bool write_install_record(const std::wstring& dir, const Manifest& manifest,
                          const bool selected[kComponentCount],
                          const nlohmann::json& undeleted = nlohmann::json::object());
