#pragma once
// The user's and the system's known folders (SHGetKnownFolderPath).
#include <string>

#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

// The folder's path, or empty when it cannot be obtained: callers must never join a name to
// an empty result, which would make a path relative to the current folder.
std::wstring known_folder(REFKNOWNFOLDERID id, DWORD flags = 0);
