#pragma once
// A changed file rebuilt from the installed one and a binary patch, instead of its whole blob.
// Every failure here is silent: the caller then fetches the whole blob, and only that one's
// failure is reported.
#include <cstdint>
#include <string>
#include <vector>

struct HttpSession;
struct ManifestFile;
struct ManifestPatch;
class TransferControl;

// The patch to use for `file`: one whose source is the installed file's actual content (hashed
// here as a stream, never taken from the record) and which is smaller than the whole blob; null
// when there is none. `oldSize` gets the installed file's size.
const ManifestPatch* choose_patch(const ManifestFile& file, uint64_t& oldSize);

// Fetches the patch (at most its signed size, its hash checked, stopped with `control`), then
// reads the installed file once, applies the patch to it and checks the result as a whole
// blob's content is checked: exactly `file.size` bytes hashing to `file.sha256`. False on any
// failure, with `content` to be discarded.
bool obtain_by_patch(const HttpSession& net, const ManifestFile& file, const ManifestPatch& patch,
                     TransferControl& control, std::vector<uint8_t>& content);
