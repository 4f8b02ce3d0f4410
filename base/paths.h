#pragma once
// Path text helpers shared by start-up and the setup log.
#include <string>

// The user's temporary folder as GetTempPathW gives it (ending in a separator), or empty when
// the call fails or the folder does not fit its 260-character buffer.
std::wstring temp_folder();

// The part before the last "\" or "/"; empty when there is none. A drive's root keeps its
// separator (D:\setup.exe gives D:\): "D:" alone would mean drive D's current folder.
std::wstring folder_of(const std::wstring& path);
// True for a folder that does not depend on a current folder: X:\... (or X:/...) and
// \\server\share... . Anything else must never be acted on as the install folder.
bool is_absolute_folder(const std::wstring& path);
// `folder` and `name` with one separator between them.
std::wstring join_path(const std::wstring& folder, const std::wstring& name);
