#pragma once
// The verified content of one release file: from a cache folder when a valid blob lies there
// (the install folder's "update-cache", then the resume cache), else downloaded; the blob and
// its unpacked content are both checked.
#include <cstdint>
#include <string>
#include <vector>

struct HttpSession;
struct ManifestFile;
class TransferControl;

// The content (exactly `file.size` bytes, hashing to `file.sha256`) into `content`. Empty on
// success, else the message of the failure ("Установка отменена." when a cancel or a stop
// through `control` ended the download); it reports nothing itself, since several transfers may
// fail at once and only one message is shown. Safe to call from several threads at once.
std::wstring obtain_blob(const HttpSession& net, const ManifestFile& file,
                         TransferControl& control, std::vector<uint8_t>& content);

// Removes the cache folder with all it holds, never following a link; every error is ignored.
void delete_blob_cache();
