#pragma once
// Whether a folder may be deleted with everything in it. The install folder comes from "/dir"
// or from a registry value, either of which may name the user's profile or a whole drive.
#include <string>

// Empty when `folder` may be deleted recursively; otherwise why not, as a phrase for the log:
// the folder is relative, a drive or share root, or is or contains one of the user's or the
// system's known folders (compared by full path and by the path its links lead to).
std::wstring recursive_delete_refusal(const std::wstring& folder);
