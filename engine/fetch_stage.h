#pragma once
// Fetching and staging every file of a run's to-do list, several transfers at once over the
// run's one connection: each arrived blob is checked, unpacked, hashed and staged on the thread
// that fetched it, so unpacking, hashing and disk writes overlap the network.
#include <cstdint>
#include <string>
#include <vector>

struct HttpSession;
struct ManifestFile;
struct ManifestPack;
struct ManifestPatch;

// One file of the to-do list and where its bytes come from: the patch from the installed
// content when there is a usable one, else (and whenever the patch fails) the whole blob.
struct Fetch {
    const ManifestFile* file = nullptr;
    const ManifestPatch* patch = nullptr;
    uint64_t oldSize = 0; // of the installed file, with a patch
};

// A pack worth fetching and the to-do files whose content it holds. Each keeps its own way (its
// patch or its blob) for when the pack fails, or its member does.
struct PackFetch {
    const ManifestPack* pack = nullptr;
    std::vector<Fetch> members; // manifest order
};

// At most this many blob transfers are in flight at once; with a connection each, the run
// opens at most this many plus the manifest's.
constexpr int kParallelFetches = 6;

// What a transfer holds at its peak is its blob and its unpacked content (with a patch also the
// old file and the patch; a pack's members are staged straight from its content); the transfers
// in flight together hold at most this much, or the largest single share when that is more
// (nothing is refused for its size). Two full packs of 64 MiB whose blobs are at most half that
// fit at once.
constexpr uint64_t kInFlightBudget = 192ull << 20;

// Stages every file of `packs` (packs first, as the largest transfers) and of `todo` (manifest
// order); `files` is the manifest's list that the packs' indexes point into. A pack that fails
// for any reason but a cancel or a stop gives way to its members' own patches or blobs. Empty
// when all are staged, with the folders the staging made in `madeFolders` (for a later step that
// must still undo the run); else the message of the failure that stopped the run (of the first
// file in manifest order when several failed at once; "Установка отменена." only for a
// cancel), after this run's staged files and the folders it made have been taken away again.
// The first failure or a cancel ends every transfer in flight at once. Reports progress as it
// goes: g_bytesDone per chunk and cached blob, and the download status text.
std::wstring fetch_and_stage(const HttpSession& net, const std::vector<ManifestFile>& files,
                             const std::vector<PackFetch>& packs, const std::vector<Fetch>& todo,
                             std::vector<std::wstring>& madeFolders);
