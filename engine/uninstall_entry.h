#pragma once
// The per-user entry in the Windows list of installed programs.
#include <cstdint>
#include <string>

// Creates or opens HKCU\<kUninstallKey> and writes its eleven values for g_installDir, this
// version (UTF-8) and the installed size in bytes. Failures are silent.
void write_uninstall_entry(const std::string& version, uint64_t sizeBytes);
