// Test helper: splits a command line with CommandLineToArgvW and prints the arguments as a
// JSON array of strings, so a test can see what a started program received.
#include <cstdio>
#include <string>

#include <windows.h>
#include <shellapi.h>

#include "tests/windows/helpers/json_text.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    int count = 0;
    LPWSTR* parts = CommandLineToArgvW(argv[1], &count);
    if (!parts) return 1;
    std::string out = "[";
    for (int i = 0; i < count; ++i)
        out += (i ? ", " : "") + json_string(parts[i]);
    LocalFree(parts);
    std::printf("%s]\n", out.c_str());
    return 0;
}
