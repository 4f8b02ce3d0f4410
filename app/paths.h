#pragma once
// Path text helpers shared by start-up and the setup log.
#include <string>

// The user's temporary folder as GetTempPathW gives it (ending in a separator), or empty when
// the call fails or the folder does not fit its 260-character buffer.
std::wstring temp_folder();

// The part before the last "\" or "/"; empty when there is none.
std::wstring folder_of(const std::wstring& path);
// `folder` and `name` with one separator between them.
std::wstring join_path(const std::wstring& folder, const std::wstring& name);
