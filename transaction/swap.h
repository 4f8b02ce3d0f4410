#pragma once
// Putting a run's staged files in place as one transaction. Every target is first renamed aside
// into the install folder's swap folder and the staged file moved in; an obsolete file is only
// renamed aside. A journal written (flushed, by rename) before the first move says what the swap
// does, so that whichever instant the process dies at, the next Setup on that folder finishes
// the swap or undoes it before anything else. Until the new record is written everything can be
// put back; the files set aside are deleted only after it.
//
// Paths are relative to the install folder, "/" separated, as the manifest spells them.
#include <atomic>
#include <string>
#include <vector>

struct SwapStep {
    std::string path;   // the target
    std::string staged; // where its new content waits; empty for an obsolete file (aside only)
    std::string sha256; // of the new content
    bool existed = false; // a file stood at `path` when the swap was planned
};

struct SwapPlan {
    std::vector<SwapStep> steps; // obsolete files first, then the new ones
    // Folders this run made or the swap will make (for a path whose folder does not exist yet,
    // or is a file the swap sets aside): removed again, when empty, by an undo.
    std::vector<std::string> madeFolders;
    std::string record; // the exact bytes of the new install record
};

// The install folder's swap folder: the journal, the files set aside, and staged files whose
// own folder cannot exist before the swap (a file of the old release stands in its place).
std::wstring swap_folder(const std::wstring& dir);

// Runs the swap. Empty on success: everything moved, the record written, the files set aside
// deleted. Otherwise everything is put back in reverse order (new files removed, files set aside
// restored, folders made removed, staged files deleted) and the message is "Файл занят: " + the
// local path of the file that could not be moved, "Не записать " + the path that could not be
// written, or "Установка отменена." when `cancel` was set before the record was written.
std::wstring run_swap(const std::wstring& dir, const SwapPlan& plan,
                      const std::atomic<bool>& cancel);

// What a Setup that died during a swap left: finished when every new file is still there with
// its content hash (or the record was already written), undone otherwise; then the record names
// exactly what is on disk. True when a swap was finished forward (its caches may go). Leftovers
// of a swap folder without a journal are deleted. Never fails; to be called before anything else
// touches the install folder.
bool finish_interrupted_swap(const std::wstring& dir);
