#pragma once
// Deleting what the last installation put there and this one no longer wants.
#include <string>

#include <nlohmann/json_fwd.hpp>

struct Manifest;

// For each key of `installed` (relative path -> hash) that names no selected manifest entry:
// deletes the file and every folder above it that this leaves empty, up to but never including
// the install folder. Keys that break the manifest's path rules are skipped: a record written
// by anyone else must not reach outside the install folder. Never fails.
void remove_obsolete_files(const nlohmann::json& installed, const Manifest& manifest);

// Deletes the file that `relative` (a record key, "/" or "\" separated) names under `root`,
// unless a link lies on the way or the name is a folder; then deletes the folders this leaves
// empty, up to but never including `root`. Shared with the removal.
void delete_recorded_file(const std::wstring& root, const std::wstring& relative);
