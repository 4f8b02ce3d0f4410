#pragma once
// Deleting in the install folder and the profile without ever following a junction or link, and
// telling whether another process holds a file: what the engine and the removal both do. None
// reports an error: what cannot be deleted stays.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>

// How long an operation on one file is retried while another program holds it (a virus
// scanner, an indexer, a backup): pauses from kHeldFirstPauseMs doubling to kHeldLongestPauseMs,
// up to g_heldRetryLimitMs in all. Written only while no worker runs (the tests lower it).
constexpr uint32_t kHeldRetryLimitMs = 15000;
constexpr uint32_t kHeldFirstPauseMs = 50;
constexpr uint32_t kHeldLongestPauseMs = 1000;
extern std::atomic<uint32_t> g_heldRetryLimitMs;

// Runs `attempt` until it succeeds, or fails with an error other than a sharing violation, a
// lock violation or access denied (what a program holding the file causes), or the time limit
// passes, or `stop` is set. True when an attempt succeeded.
bool retry_while_held(const std::function<bool()>& attempt,
                      const std::atomic<bool>* stop = nullptr);

// True when the file exists but cannot be opened for writing without sharing, even after the
// retry: another program holds it, or it refuses writing (access denied).
bool is_file_busy(const std::wstring& path);
// True when the file (or folder) exists and cannot be opened for deletion without sharing after
// the retry: something holds it that a rename would fail on.
bool is_held_against_rename(const std::wstring& path);

// Renames `from` to `to` (which must not exist) within one volume, flushed, with the retry.
bool move_file(const std::wstring& from, const std::wstring& to,
               const std::atomic<bool>* stop = nullptr);
// Deletes the file, clearing a read-only attribute first, with the retry. True when it is gone
// (or never was there).
bool delete_file(const std::wstring& path);
// Clears a read-only attribute; other attributes stay.
void clear_read_only(const std::wstring& path);

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
