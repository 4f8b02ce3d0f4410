#pragma once
// UTF-8 <-> UTF-16 over the whole string (code page 65001, no flags); empty gives empty.
#include <string>

std::wstring wide_from_utf8(const std::string& text);
std::string utf8_from_wide(const std::wstring& text);
