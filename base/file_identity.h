#pragma once
// Whether two paths name the same file or folder, by what the file system says rather than by
// their text (case, "\.\", a trailing separator, short names all differ in text only).
#include <string>

#include <windows.h>

// File identity (volume and file index); false for a path that cannot be opened.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileIdentity&) const = default;
};
bool file_identity(const std::wstring& path, FileIdentity& id);
// True only when both paths open and have the same identity.
bool same_file(const std::wstring& a, const std::wstring& b);
