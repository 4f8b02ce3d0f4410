#pragma once
// When two relative paths name the same file: Windows compares names ordinally and without
// letter case, takes "\" for "/" and skips empty and "." parts. Every decision Setup makes about
// the files of the install folder (the diff against the record, the obsolete files, the record's
// keys, a manifest's paths) goes through this one rule, and so does the release tool's choice of
// which names it publishes: a name one accepts the other must accept.
#include <string>

// The path rules of a manifest or record path: not empty, no "..", no ":", no "\0", not
// starting with "/" or "\": nothing that could name a file outside the install folder.
bool is_acceptable_manifest_path(const std::string& path);

// False when a part of the path is a name Windows cannot hold as given: a device name (CON, PRN,
// AUX, NUL, COM0-9, LPT0-9, also with a superscript digit) in any letter case and whatever its
// extension, or a name ending in a dot or a space, which Windows strips.
bool windows_can_hold(const std::string& path);

// The code point as Windows' ordinal comparison without case sees it (CompareStringOrdinal with
// ignore case): its upper-case form where Windows has one, else itself.
char32_t ordinal_upper(char32_t c);

// A text that is equal for two paths exactly when they name the same file: the parts,
// upper-cased as ordinal_upper does, joined with "/". Bytes that are not UTF-8 stay as they are.
std::string file_name_key(const std::string& path);

inline bool name_same_file(const std::string& a, const std::string& b) {
    return file_name_key(a) == file_name_key(b);
}
