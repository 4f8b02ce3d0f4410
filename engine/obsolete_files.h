#pragma once
// What the last installation put there and this one no longer wants, and what a killed run left
// behind. A recorded key is obsolete when it names no file of a selected manifest entry, by the
// one rule of file_name_key: a key that differs from a kept path only by letter case or
// separators names the kept file and is never deleted. Keys that break the manifest's path rules
// are never followed: a record written by anyone else must not reach outside the install folder.
#include <nlohmann/json_fwd.hpp>

struct Manifest;

// Deletes each obsolete recorded file that stands where this release needs a folder (v1 "data",
// v2 "data/x.bin"), or that lies inside a path where it needs a file (the reverse), with the
// folders this leaves empty; to be called before any file is placed. Only what the record lists
// goes: a file or folder of the user's in the way stays, and the write then fails.
void clear_obsolete_files_in_the_way(const nlohmann::json& installed, const Manifest& manifest);

// Deletes every obsolete recorded file and every folder above it that this leaves empty, up to
// but never including the install folder. Returns the obsolete entries (key -> recorded value)
// whose files are still there because they could not be deleted, for the rewritten record, so
// that the next run and the removal try again. Never fails.
nlohmann::json remove_obsolete_files(const nlohmann::json& installed, const Manifest& manifest);

// Deletes what a killed run may have left: "<file>.new" beside each file that the manifest or
// the record names (unless that name is itself a listed file) and the record's temporary file.
// Only files go; a folder or link of that name stays.
void delete_leftover_staged_files(const nlohmann::json& installed, const Manifest& manifest);
