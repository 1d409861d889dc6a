// Asks the system whether files carry a trusted Authenticode signature, as
// the shell and application-control policies ask before they load a DLL:
//   nm_verify_trust [--add-root CERT] FILE...
// --add-root first puts a certificate (DER or PEM) into the machine's Root
// store and prints "root added: NAME".  Then one line per file,
// "FILE: ANSWER (0xHHHHHHHH)", with what WinVerifyTrust answers for the
// generic Authenticode policy, no UI and no revocation check.  Exit status 0
// when every file is trusted, 1 when one is not (or the root could not be
// added), 2 on bad arguments.
#include <windows.h>

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

struct TrustAnswer {
    LONG code;
    const char* name;
};

// The answers a signature check gives; anything else prints as its number.
constexpr TrustAnswer kTrustAnswers[] = {
    {ERROR_SUCCESS, "ERROR_SUCCESS"},
    {TRUST_E_NOSIGNATURE, "TRUST_E_NOSIGNATURE"},
    {TRUST_E_BAD_DIGEST, "TRUST_E_BAD_DIGEST"},
    {TRUST_E_SUBJECT_FORM_UNKNOWN, "TRUST_E_SUBJECT_FORM_UNKNOWN"},
    {TRUST_E_SUBJECT_NOT_TRUSTED, "TRUST_E_SUBJECT_NOT_TRUSTED"},
    {TRUST_E_PROVIDER_UNKNOWN, "TRUST_E_PROVIDER_UNKNOWN"},
    {TRUST_E_NO_SIGNER_CERT, "TRUST_E_NO_SIGNER_CERT"},
    {TRUST_E_EXPLICIT_DISTRUST, "TRUST_E_EXPLICIT_DISTRUST"},
    {CERT_E_UNTRUSTEDROOT, "CERT_E_UNTRUSTEDROOT"},
    {CERT_E_UNTRUSTEDTESTROOT, "CERT_E_UNTRUSTEDTESTROOT"},
    {CERT_E_CHAINING, "CERT_E_CHAINING"},
    {CERT_E_EXPIRED, "CERT_E_EXPIRED"},
    {CERT_E_WRONG_USAGE, "CERT_E_WRONG_USAGE"},
    {CERT_E_REVOKED, "CERT_E_REVOKED"},
    {CRYPT_E_SECURITY_SETTINGS, "CRYPT_E_SECURITY_SETTINGS"},
    {CRYPT_E_FILE_ERROR, "CRYPT_E_FILE_ERROR"},
    {CRYPT_E_BAD_MSG, "CRYPT_E_BAD_MSG"},
    {CRYPT_E_NO_MATCH, "CRYPT_E_NO_MATCH"},
    {static_cast<LONG>(ERROR_FILE_NOT_FOUND), "ERROR_FILE_NOT_FOUND"},
};

const char* TrustAnswerName(LONG code) {
    for (const auto& answer : kTrustAnswers)
        if (answer.code == code)
            return answer.name;
    return "unknown";
}

std::wstring Widen(const char* text) {
    int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), size);
    wide.resize(static_cast<size_t>(size - 1));
    return wide;
}

// The verification holds state (the signer's chain) until it is closed, so
// every verify is followed by a close on the same data.
LONG VerifyFile(const char* path) {
    std::wstring wide = Widen(path);
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = wide.c_str();

    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    HWND noUser = static_cast<HWND>(INVALID_HANDLE_VALUE);
    LONG answer = WinVerifyTrust(noUser, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(noUser, &action, &data);
    return answer;
}

bool ReadWholeFile(const char* path, std::vector<BYTE>& bytes) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(file, nullptr);
    DWORD got = 0;
    bool ok = size != INVALID_FILE_SIZE && size <= 1024 * 1024;
    if (ok) {
        bytes.resize(size);
        ok = ReadFile(file, bytes.data(), size, &got, nullptr) && got == size;
    }
    CloseHandle(file);
    return ok;
}

// A PEM certificate decoded to DER; DER is taken as it is.
bool CertificateBytes(const char* path, std::vector<BYTE>& der) {
    std::vector<BYTE> bytes;
    if (!ReadWholeFile(path, bytes))
        return false;
    constexpr char kPemStart[] = "-----BEGIN";
    if (bytes.size() < sizeof(kPemStart) - 1 || std::memcmp(bytes.data(), kPemStart, sizeof(kPemStart) - 1) != 0) {
        der = std::move(bytes);
        return true;
    }
    const char* text = reinterpret_cast<const char*>(bytes.data());
    DWORD textLength = static_cast<DWORD>(bytes.size());
    DWORD size = 0;
    if (!CryptStringToBinaryA(text, textLength, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return false;
    der.resize(size);
    return CryptStringToBinaryA(text, textLength, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr) &&
           size == der.size();
}

// The machine's store: adding to the current user's Root store asks the
// user first on Windows, the machine's store does not.
bool AddRoot(const char* path) {
    std::vector<BYTE> der;
    if (!CertificateBytes(path, der)) {
        std::printf("root not added: cannot read a certificate from %s\n", path);
        return false;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (!store) {
        std::printf("root not added: CertOpenStore: %lu\n", GetLastError());
        return false;
    }
    PCCERT_CONTEXT added = nullptr;
    bool ok = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                               CERT_STORE_ADD_REPLACE_EXISTING, &added);
    if (ok) {
        char name[256] = {};
        CertGetNameStringA(added, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, sizeof(name));
        std::printf("root added: %s\n", name);
        CertFreeCertificateContext(added);
    } else {
        std::printf("root not added: CertAddEncodedCertificateToStore: 0x%08lX\n", GetLastError());
    }
    CertCloseStore(store, 0);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    const char* root = nullptr;
    if (argc > 2 && std::strcmp(argv[1], "--add-root") == 0) {
        root = argv[2];
        first = 3;
    }
    if (first >= argc) {
        std::fputs("usage: nm_verify_trust [--add-root CERT] FILE...\n", stderr);
        return 2;
    }
    if (root && !AddRoot(root))
        return 1;
    int status = 0;
    for (int i = first; i < argc; ++i) {
        LONG answer = VerifyFile(argv[i]);
        std::printf("%s: %s (0x%08lX)\n", argv[i], TrustAnswerName(answer), static_cast<unsigned long>(answer));
        if (answer != ERROR_SUCCESS)
            status = 1;
    }
    return status;
}
