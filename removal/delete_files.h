#pragma once
// The deletions of the removal. None reports an error: what cannot be deleted stays.
#include <string>

// Deletes `path` when it is a folder without entries.
void delete_folder_if_empty(const std::wstring& path);
// Deletes `path` when it is a folder without entries or a file of size 0.
void delete_if_empty(const std::wstring& path);

// Deletes `folder` with everything in it. A junction or symbolic link inside is deleted
// itself; what it leads to is never entered. The caller has asked recursive_delete_refusal.
void delete_tree(const std::wstring& folder);
