#pragma once
// When two relative paths name the same file: Windows compares names ordinally and without
// letter case, takes "\" for "/" and skips empty and "." parts. Every decision Setup makes about
// the files of the install folder (the diff against the record, the obsolete files, the record's
// keys, a manifest's paths) goes through this one rule.
#include <string>
#include <vector>

// The parts of a relative path (UTF-8), split at "/" and "\", without empty parts and ".".
std::vector<std::string> split_relative_path(const std::string& path);

// The code point as Windows' ordinal comparison without case sees it (CompareStringOrdinal with
// ignore case): its upper-case form where Windows has one, else itself.
char32_t ordinal_upper(char32_t c);

// A text that is equal for two paths exactly when they name the same file: the parts,
// upper-cased as ordinal_upper does, joined with "/". Bytes that are not UTF-8 stay as they are.
std::string file_name_key(const std::string& path);

inline bool name_same_file(const std::string& a, const std::string& b) {
    return file_name_key(a) == file_name_key(b);
}
