// The image's load configuration, which mingw-w64 does not write: it carries DependentLoadFlags,
// so that Windows (10 1607 and later) resolves even the static imports from System32 only and
// never from the program's own folder. The linker points the image's Load Configuration
// directory at the object of this exact name.
#include <cstddef>

#include <windows.h>

namespace {

constexpr WORD kDependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32;
// The 64-bit layout up to the SEH fields; the loader reads only what Size covers.
constexpr DWORD kLoadConfigSize = sizeof(IMAGE_LOAD_CONFIG_DIRECTORY64);
// mingw-w64's header still calls the field Reserved1; its place in the layout is fixed.
static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, Reserved1) == 0x4E);
static_assert(kLoadConfigSize >= 0x50, "Size must cover DependentLoadFlags");

constexpr IMAGE_LOAD_CONFIG_DIRECTORY64 make_load_config() {
    IMAGE_LOAD_CONFIG_DIRECTORY64 config = {};
    config.Size = kLoadConfigSize;
    config.Reserved1 = kDependentLoadFlags;
    return config;
}

} // namespace

extern "C" __attribute__((used)) const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used =
    make_load_config();
