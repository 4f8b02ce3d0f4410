#pragma once
// Files another program holds open (a virus scanner, an indexer, a backup, the running
// application): each operation on one is retried for a while, and a probe tells whether one is
// held. What the engine, the swap and the removal do to a single file goes through here.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

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
