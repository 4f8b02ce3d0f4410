#pragma once
// The deletions of the removal. None reports an error: what cannot be deleted stays.
#include <string>

// Deletes the file that `relative` (a record key, "/" or "\" separated) names under `root`,
// unless a link lies on the way or the name is a folder; then deletes the folders this leaves
// empty, up to but never including `root`.
void delete_recorded_file(const std::wstring& root, const std::wstring& relative);

// Deletes `path` when it is a folder without entries.
void delete_folder_if_empty(const std::wstring& path);
// Deletes `path` when it is a folder without entries or a file of size 0.
void delete_if_empty(const std::wstring& path);

// Deletes `folder` with everything in it. A junction or symbolic link inside is deleted
// itself; what it leads to is never entered. The caller has asked recursive_delete_refusal.
void delete_tree(const std::wstring& folder);
