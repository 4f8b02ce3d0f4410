#pragma once
// install.json in the install folder: what the last successful run put there.
#include <string>
#include <nlohmann/json.hpp>

#include "app/state.h" // kComponentCount

struct Manifest;

// The record parsed from its text: an empty object when it is not JSON, any other JSON value
// as it is (readers then find none of the members they look for).
nlohmann::json parse_install_record_text(const std::string& text);
// The record's "files" member when it is an object, else an empty object.
nlohmann::json record_files_of(const nlohmann::json& record);

// Parsed install.json of `dir`, or an empty object when missing, unreadable or not JSON.
nlohmann::json read_install_record_at(const std::wstring& dir);
// The same for g_installDir.
nlohmann::json read_install_record();
// The record's "files" object, or an empty object when there is none usable.
nlohmann::json read_install_record_files(const std::wstring& dir);

// The exact bytes of the record for this manifest and selection.
std::string serialise_install_record(const Manifest& manifest,
                                     const bool selected[kComponentCount]);
// Writes install.json in `dir` through a temporary file and a replacing move.
bool write_install_record(const std::wstring& dir, const Manifest& manifest,
                          const bool selected[kComponentCount]);
