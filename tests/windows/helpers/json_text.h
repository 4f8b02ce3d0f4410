#pragma once
// A UTF-16 text as a JSON string literal, for the helpers' one-line reports.
#include <string>

#include "base/text.h"

inline std::string json_string(const std::wstring& text) {
    std::string out = "\"";
    for (char c : utf8_from_wide(text)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}
