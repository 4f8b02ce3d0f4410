// Adds a DER certificate to the current user's "Root" store, so that WinHTTP in a throw-away
// Wine prefix trusts the test CA. Wine adds it without the prompt that Windows would show.
//   add_root_ca CERT.der      exit code 0 on success
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <vector>

#include "base/handles.h"

namespace {

struct CertStoreTraits {
    static HCERTSTORE invalid() { return nullptr; }
    static void close(HCERTSTORE s) { CertCloseStore(s, 0); }
};
using CertStore = Owned<HCERTSTORE, CertStoreTraits>;

bool read_whole_file(const wchar_t* path, std::vector<BYTE>& bytes) {
    FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > 1 << 20)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
           read == bytes.size();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: add_root_ca CERT.der\n");
        return 2;
    }
    std::vector<BYTE> der;
    if (!read_whole_file(argv[1], der)) {
        std::fprintf(stderr, "add_root_ca: cannot read %ls\n", argv[1]);
        return 1;
    }
    CertStore store(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
    if (!store) {
        std::fprintf(stderr, "add_root_ca: cannot open the Root store (%lu)\n", GetLastError());
        return 1;
    }
    if (!CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(),
                                          static_cast<DWORD>(der.size()),
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
        std::fprintf(stderr, "add_root_ca: cannot add the certificate (%lu)\n", GetLastError());
        return 1;
    }
    return 0;
}
