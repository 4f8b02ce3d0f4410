#pragma once
// Putting one new file in place: staged beside the old one with ".new" appended, flushed, then
// moved over it in one rename.
#include <cstdint>
#include <string>
#include <vector>

struct ManifestFile;

// The install folder joined with the entry's path; its forward slashes stay as they are.
std::wstring local_file_path(const std::string& relativePath);

// Writes `content` as the entry's local file; false after set_error ("Не записать …" when a
// folder on the way inside the install folder is a link, a folder stands at the file's name or
// the staged file cannot be written, "Файл занят: …" when the move fails), and the run must stop.
bool replace_file(const ManifestFile& file, const std::vector<uint8_t>& content);
