#pragma once
// Deleting in the install folder and the profile without ever following a junction or link:
// what the engine and the removal both do. None reports an error: what cannot be deleted stays.
#include <string>
#include <unordered_set>

// True when `path` is a junction or symbolic link (or any other reparse point).
bool is_link(const std::wstring& path);

// Deletes `path` when it is a folder without entries.
void delete_folder_if_empty(const std::wstring& path);
// Deletes `path` when it is a folder without entries or a file of size 0.
void delete_if_empty(const std::wstring& path);

// Deletes `folder` with everything in it. A junction or symbolic link, inside or `folder`
// itself, is deleted itself; what it leads to is never entered. True when `folder` is gone
// afterwards (or never was there). The removal asks recursive_delete_refusal first.
bool delete_tree(const std::wstring& folder);

// Deletes each entry of `folder` whose name `keep` does not hold, as delete_tree deletes:
// links themselves, folders with what they hold, never through a link.
void delete_entries_except(const std::wstring& folder,
                           const std::unordered_set<std::wstring>& keep);

// Deletes `path` itself when it is a junction or link (to a folder or a file).
void delete_if_link(const std::wstring& path);

// True when one of the folders between `root` and the file that `relative` (a record key or a
// manifest path, "/" or "\" separated) names is a junction or link: through it the name would
// lead outside `root`.
bool has_link_on_the_way(const std::wstring& root, const std::string& relative);

// Deletes the file that `relative` names under `root`, unless a link lies on the way or the name
// is a folder or a link; then deletes the folders this leaves empty, up to but never including
// `root`. False only when the file is still there because it could not be deleted (held open,
// read-only): a caller that records it must try again later.
bool delete_recorded_file(const std::wstring& root, const std::string& relative);
