#pragma once
// UTC moments as the manifest writes them, "YYYY-MM-DDTHH:MM:SSZ", held as seconds since
// 1970-01-01T00:00:00Z (earlier moments are negative).
#include <cstdint>
#include <string>

// True only for exactly that form (20 characters, upper-case "T" and "Z") naming a real moment:
// a month 01-12, a day that month has in that year, an hour 00-23, minutes and seconds 00-59.
bool parse_utc_time(const std::string& text, int64_t& seconds);

// The same form; years outside 0000-9999 are clamped to its ends.
std::string format_utc_time(int64_t seconds);
