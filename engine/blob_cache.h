#pragma once
// The verified content of one release file: from the cache folder when a valid blob lies
// there, else downloaded; the blob and its unpacked content are both checked.
#include <cstdint>
#include <string>
#include <vector>

struct ManifestFile;

// The content (exactly `file.size` bytes, hashing to `file.sha256`) into `content`; false
// after set_error with the message of the failure, and the run must stop.
bool obtain_blob(const ManifestFile& file, std::vector<uint8_t>& content);

// install folder / "update-cache" / (sha256 + ".lzms").
std::wstring cached_blob_path(const ManifestFile& file);

// Removes the cache folder with all it holds, never following a link; every error is ignored.
void delete_blob_cache();
