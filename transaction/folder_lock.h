#pragma once
// One Setup per install folder: a named mutex derived from the folder as Windows compares names,
// held by the run that installs, updates or removes there, from before it looks at the folder to
// its end.
#include <atomic>
#include <string>

#include "base/handles.h"

// How long a second Setup waits for the first one to finish with the folder.
constexpr unsigned kFolderLockWaitMs = 60000;

// The mutex's name for `dir`: the same for every spelling of one folder (letter case,
// separators, a trailing separator).
std::wstring folder_mutex_name(const std::wstring& dir);

// Takes the folder's mutex. When another Setup holds it, sets the status "Ожидание другой
// установки…" and waits up to kFolderLockWaitMs, giving up early when `cancel` is set. Empty when
// the mutex was not taken.
HeldMutex lock_install_folder(const std::wstring& dir, const std::atomic<bool>& cancel);
