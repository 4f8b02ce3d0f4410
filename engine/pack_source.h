#pragma once
// A pack: many files' contents fetched as one solid blob, checked whole and split into its
// members. Every failure here is silent: the caller then fetches the members' own blobs (or
// patches), and only their failure is reported.
#include <cstdint>
#include <string>
#include <vector>

struct HttpSession;
struct ManifestPack;
class TransferControl;

// The pack's uncompressed bytes, exactly `pack.size` of them hashing to `pack.sha256`: from the
// resume cache when a valid copy lies there, else fetched (at most its signed size, its hash
// checked) and then kept there. False on any failure, with `content` to be discarded; a cancel
// or a stop through `control` ends the transfer like any other (the caller tells them apart).
bool obtain_pack(const HttpSession& net, const ManifestPack& pack, TransferControl& control,
                 std::vector<uint8_t>& content);
