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

// The blob at `path` when it is at most `csize` bytes and hashes to `csha256`, counted as
// received; empty when there is none usable. Only ever read: a mismatching file stays.
std::string cached_blob(const std::wstring& path, uint64_t csize, const std::string& csha256);

// Downloads a blob or pack named by its hash into `blob`, at most `csize` bytes: continues a
// transfer that broke in an earlier run (its start kept in the resume cache) with a Range
// request, and keeps the start of one that breaks now, also when a cancel or a stop through
// `control` broke it. `Good` only for a whole that hashes to `csha256`; a resumed whole that does
// not is fetched once more from its start.
enum class Download { Good, Broken, TooLong, Wrong };
Download download_resumable(const HttpSession& net, const std::wstring& serverPath,
                            const std::string& sha256, uint64_t csize, const std::string& csha256,
                            TransferControl& control, std::string& blob);

// Removes the cache folder with all it holds, never following a link; every error is ignored.
void delete_blob_cache();
