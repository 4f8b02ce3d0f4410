#pragma once
// System functions that some Windows versions (or Wine) lack, resolved once, here only.
#include <windows.h>

// Compression API of cabinet.dll (compressapi.h), declared here so the build needs no header.
using CompressorHandle = void*;
using CreateDecompressorFn = BOOL(WINAPI*)(DWORD algorithm, void* allocationRoutines,
                                           CompressorHandle* handle);
using DecompressFn = BOOL(WINAPI*)(CompressorHandle handle, const void* compressed,
                                   SIZE_T compressedSize, void* uncompressed,
                                   SIZE_T uncompressedSize, SIZE_T* uncompressedDataSize);
using CloseDecompressorFn = BOOL(WINAPI*)(CompressorHandle handle);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR monitor, int dpiType, UINT* dpiX, UINT* dpiY);

struct OptionalApi {
    // Null when Shcore.dll or the function is missing: the scale stays 1.
    GetDpiForMonitorFn getDpiForMonitor = nullptr;
    // All three set, or all null: null on systems without the API and always under Wine,
    // whose cabinet.dll has none or a stub that returns its input unchanged.
    CreateDecompressorFn createDecompressor = nullptr;
    DecompressFn decompress = nullptr;
    CloseDecompressorFn closeDecompressor = nullptr;
    bool underWine = false;
};

// Resolved on first use (thread-safe); the libraries stay loaded for the process's life.
const OptionalApi& optional_api();

// Restricts the DLL search of the whole process to System32: the program's own folder (often
// Downloads, which any browser can fill) is never searched. First thing in wWinMain, before
// any delay-loaded or optional library is touched. False where the system cannot do it.
bool restrict_dll_search();
// A system library from System32 only, never from the program's folder; null when missing.
HMODULE load_system_library(const wchar_t* name);
