#include "engine/uninstall_entry.h"

#include <windows.h>

#include "base/build_constants.h"
#include "base/handles.h"
#include "base/names.h"
#include "base/paths.h"
#include "base/state.h"
#include "base/text.h"

namespace {

// With its terminating NUL: (characters + 1) × 2 bytes.
void set_text(HKEY key, const wchar_t* name, const std::wstring& value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void set_number(HKEY key, const wchar_t* name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

} // namespace

void write_uninstall_entry(const std::string& version, uint64_t sizeBytes) {
    RegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return;
    const std::wstring setup = join_path(g_installDir, kSetupExeName);
    set_text(key.get(), L"DisplayName", L"Планикс — Кварталис");
    set_text(key.get(), L"DisplayVersion", wide_from_utf8(version));
    set_text(key.get(), L"Publisher", L"Кварталис");
    set_text(key.get(), L"URLInfoAbout", kUrlInfoAbout);
    set_text(key.get(), L"InstallLocation", g_installDir);
    set_text(key.get(), L"DisplayIcon", join_path(g_installDir, kAppExeName));
    set_text(key.get(), L"UninstallString", L"\"" + setup + L"\" /uninstall");
    set_text(key.get(), L"ModifyPath", L"\"" + setup + L"\"");
    // Kibibytes, cut to 32 bits as the value's type demands.
    set_number(key.get(), L"EstimatedSize", static_cast<DWORD>(sizeBytes / 1024));
    set_number(key.get(), L"NoModify", 0);
    set_number(key.get(), L"NoRepair", 1);
}
