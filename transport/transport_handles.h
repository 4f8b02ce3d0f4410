#pragma once
// Owners for the CNG, WinHTTP and Compression API handles of the transport code; see
// base/handles.h for the pattern.
#include <windows.h>

#include <bcrypt.h>
#include <winhttp.h>

#include "base/handles.h"
#include "base/optional_api.h"

struct BcryptAlgTraits {
    static BCRYPT_ALG_HANDLE invalid() { return nullptr; }
    static void close(BCRYPT_ALG_HANDLE h) { BCryptCloseAlgorithmProvider(h, 0); }
};
struct BcryptHashTraits {
    static BCRYPT_HASH_HANDLE invalid() { return nullptr; }
    static void close(BCRYPT_HASH_HANDLE h) { BCryptDestroyHash(h); }
};
struct BcryptKeyTraits {
    static BCRYPT_KEY_HANDLE invalid() { return nullptr; }
    static void close(BCRYPT_KEY_HANDLE h) { BCryptDestroyKey(h); }
};
struct InternetTraits {
    static HINTERNET invalid() { return nullptr; }
    static void close(HINTERNET h) { WinHttpCloseHandle(h); }
};
// A decompressor is closed by the function table that created it (the system's, or a test's).
struct DecompressorRef {
    CompressorHandle handle = nullptr;
    CloseDecompressorFn close = nullptr;
    bool operator==(const DecompressorRef&) const = default;
};
struct DecompressorTraits {
    static DecompressorRef invalid() { return {}; }
    static void close(DecompressorRef d) { d.close(d.handle); }
};

using BcryptAlg = Owned<BCRYPT_ALG_HANDLE, BcryptAlgTraits>;
using BcryptHash = Owned<BCRYPT_HASH_HANDLE, BcryptHashTraits>;
using BcryptKey = Owned<BCRYPT_KEY_HANDLE, BcryptKeyTraits>;
using Internet = Owned<HINTERNET, InternetTraits>; // session, connection and request alike
using Decompressor = Owned<DecompressorRef, DecompressorTraits>;
