#pragma once
// What the last installation put there and this one no longer wants, and what a killed run left
// behind. A recorded key is obsolete when it names no file of a selected manifest entry, by the
// one rule of file_name_key: a key that differs from a kept path only by letter case or
// separators names the kept file and is never deleted. Keys that break the manifest's path rules
// are never followed: a record written by anyone else must not reach outside the install folder.
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

struct Manifest;

// The recorded keys that name no file of this release and selection, in the record's order: the
// swap sets their files aside with the rest and deletes them once the new record is written.
std::vector<std::string> obsolete_keys(const nlohmann::json& installed, const Manifest& manifest);

// Deletes what a killed run may have left before its swap began: "<file>.new" beside each file
// that the manifest or the record names (unless that name is itself a listed file) and the
// record's temporary file. Only files go; a folder or link of that name stays. (A swap folder is
// the interrupted swap's own business.)
void delete_leftover_staged_files(const nlohmann::json& installed, const Manifest& manifest);
