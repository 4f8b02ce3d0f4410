#include "base/optional_api.h"

namespace {

template <typename Fn> Fn lookup(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                  : nullptr;
}

OptionalApi resolve() {
    OptionalApi api;
    // Wine's ntdll exports wine_get_version; Windows' does not.
    api.underWine = lookup<FARPROC>(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;

    HMODULE shcore = load_system_library(L"Shcore.dll");
    api.getDpiForMonitor = lookup<GetDpiForMonitorFn>(shcore, "GetDpiForMonitor");

    if (!api.underWine) {
        HMODULE cabinet = load_system_library(L"cabinet.dll");
        auto create = lookup<CreateDecompressorFn>(cabinet, "CreateDecompressor");
        auto decompress = lookup<DecompressFn>(cabinet, "Decompress");
        auto close = lookup<CloseDecompressorFn>(cabinet, "CloseDecompressor");
        if (create && decompress && close) {
            api.createDecompressor = create;
            api.decompress = decompress;
            api.closeDecompressor = close;
        }
    }
    return api;
}

} // namespace

const OptionalApi& optional_api() {
    static const OptionalApi api = resolve();
    return api;
}

bool restrict_dll_search() {
    // Looked up rather than imported: Windows 7 has it only with KB2533623.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD flags);
    const auto set = lookup<SetDefaultDllDirectoriesFn>(GetModuleHandleW(L"kernel32.dll"),
                                                        "SetDefaultDllDirectories");
    return set && set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE load_system_library(const wchar_t* name) {
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}
