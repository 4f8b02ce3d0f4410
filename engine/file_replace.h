#pragma once
// Staging new files: each is first written beside the old one with ".new" appended and flushed;
// only when every file of the run is staged does the swap (transaction/swap.h) put them in place. A run
// that fails before the swap takes its staged files and the folders it made away again and
// leaves the install folder as it was.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ManifestFile;

// The install folder joined with the entry's path; its forward slashes stay as they are.
std::wstring local_file_path(const std::string& relativePath);
// Where the entry's new content is staged, relative to the install folder: its path with ".new"
// appended, or, while a file of the old release stands where one of its folders must be, a name
// of its own in the swap folder (moved in once the swap has set that file aside).
std::string staged_relative_path(const ManifestFile& file);
// The same joined to the install folder.
std::wstring staged_file_path(const ManifestFile& file);

// Writes `content` as the entry's staged file, flushed, making the folders on its way; each
// folder it made is appended to `madeFolders`. Empty on success, else "Не записать " + the local
// path: also when a folder on the way inside the install folder is a link, since writing through
// it would put the file wherever it leads. Safe to call from several threads at once.
std::wstring stage_file(const ManifestFile& file, const uint8_t* data, size_t size,
                        std::vector<std::wstring>& madeFolders);
inline std::wstring stage_file(const ManifestFile& file, const std::vector<uint8_t>& content,
                               std::vector<std::wstring>& madeFolders) {
    return stage_file(file, content.data(), content.size(), madeFolders);
}

// Deletes the entry's staged file; errors are ignored.
void discard_staged(const ManifestFile& file);

// Deletes the folders a failed run made, deepest first, each only when it is empty.
void remove_made_folders(std::vector<std::wstring> madeFolders);
