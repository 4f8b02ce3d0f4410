#pragma once
// What stands between a root folder and the file a relative path names. Staging, the swap and
// the deletions each walk to a file through way_to_file, so that each checks the same folders,
// split by the same rule.
#include <string>
#include <vector>

// True when a file stands at `path`: not a folder, not a junction or link.
bool is_plain_file(const std::wstring& path);
// True when a folder stands at `path` that is not a junction or link.
bool is_real_folder(const std::wstring& path);

// The full paths from `root` to the file that `relative` (a record key or a manifest path,
// UTF-8, "/" or "\" separated) names: the folders between, top down, and the file itself (empty
// when `relative` names no part at all).
struct WayToFile {
    std::vector<std::wstring> folders;
    std::wstring file;
};
WayToFile way_to_file(const std::wstring& root, const std::string& relative);

// Makes each missing folder between `root` and `relative`'s file, one level at a time, so that
// each existing one is checked to be a real folder: through a link or a junction the file would
// land outside `root`, where nothing ever removes it. False at the first that is not (a file, a
// link, one that could not be made). Each folder made is appended to `made` when given.
bool make_folders_on_the_way(const std::wstring& root, const std::string& relative,
                             std::vector<std::wstring>* made = nullptr);
