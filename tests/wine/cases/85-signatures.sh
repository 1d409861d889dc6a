# The signed release as Windows judges it before it loads a DLL:
# WinVerifyTrust with the generic Authenticode policy (nm_verify_trust.exe),
# on the DLLs that the signed x64 package installed, in a 64-bit and a
# 32-bit process.  Without the test root in the machine's Root store the
# chain ends at an untrusted root; with it the signatures are trusted, and
# an image changed after signing is refused.  The packages and the root are
# scripts/test's (build/packages, build/signing); run alone, the case signs
# its own with a throwaway certificate.
sig_pkgs="${NM_PACKAGES:-$NM_ROOT/build/packages}"
sig_root="${NM_SIGN_ROOT:-$NM_ROOT/build/signing/root.pem}"
if [ ! -f "$sig_pkgs/signed/x64/NMShell402.dll" ] || [ ! -f "$sig_root" ]; then
    sig_pkgs="$NM_WINE_ROOT/signed-packages"
    sig_root="$NM_WINE_ROOT/signing/root.pem"
    NM_SIGN_PASSWORD=$(openssl rand -hex 16) bash -c '
        "$1/tests/signing/make-test-certificate" "$2/signing" &&
        "$1/scripts/package" --sign "$2/signing/signer.p12" --out "$3" \
            --dll32 "$4/NMShell402.dll" --dll64 "$5/NMShell402.dll"' _ \
        "$NM_ROOT" "$NM_WINE_ROOT" "$sig_pkgs" "${NM_BIN32:-$NM_ROOT/build/win32/bin}" "$NM_BIN" >/dev/null
fi

nm_new_prefix signatures
sig_c="$WINEPREFIX/drive_c"
sig_pf64='C:\Program Files\Nullmark\NMShell402.dll'
sig_pf32='C:\Program Files (x86)\Nullmark\NMShell402.dll'
rc=$(timeout 300 "$WINE64" msiexec /i "$(winepath_of "$sig_pkgs/NMShell402-x64.msi")" /qn >/dev/null 2>&1; echo $?)
if [ "$rc" = 0 ] && cmp -s "$sig_c/Program Files/Nullmark/NMShell402.dll" "$sig_pkgs/signed/x64/NMShell402.dll" &&
    cmp -s "$sig_c/Program Files (x86)/Nullmark/NMShell402.dll" "$sig_pkgs/signed/x86/NMShell402.dll"; then
    wine_pass "signed x64 package: installs the signed DLLs as they were signed"
else
    wine_fail "signed x64 package: installs the signed DLLs as they were signed" "exit status $rc"
fi

# The files to judge, on C:: each bitness's tools as signed, a copy of each
# installed DLL with one byte of its code changed, and the unsigned build.
mkdir -p "$sig_c/signed" "$sig_c/changed"
cp -r "$sig_pkgs/signed/x86" "$sig_pkgs/signed/x64" "$sig_c/signed/"
cp "$sig_c/Program Files/Nullmark/NMShell402.dll" "$sig_c/changed/NMShell402-x64.dll"
cp "$sig_c/Program Files (x86)/Nullmark/NMShell402.dll" "$sig_c/changed/NMShell402-x86.dll"
sig_changed=$("$NM_ROOT/tests/signing/change-byte" "$sig_c/changed/NMShell402-x64.dll" &&
    "$NM_ROOT/tests/signing/change-byte" "$sig_c/changed/NMShell402-x86.dll")
cp "$NM_BIN/NMShell402.dll" "$sig_c/unsigned.dll"
cp "$sig_root" "$sig_c/test-root.pem"

# A PE file changed after signing: Wine answers TRUST_E_BAD_DIGEST, as
# Windows does, before it looks at the chain.
sig_answer() { printf '%s: %s\n' "$1" "$2"; }
sig_untrusted="CERT_E_UNTRUSTEDROOT (0x800B0109)"
sig_trusted="ERROR_SUCCESS (0x00000000)"
sig_bad_digest="TRUST_E_BAD_DIGEST (0x80096010)"
out=$(cd "$sig_c" && nm_wine "$NM_BIN/nm_verify_trust.exe" "$sig_pf64" "$sig_pf32" 'C:\changed\NMShell402-x64.dll' \
    'C:\unsigned.dll')
nm_expect "64-bit process, test root not trusted: the signed DLLs chain to an untrusted root" "$out" \
    "$(sig_answer "$sig_pf64" "$sig_untrusted")" \
    "$(sig_answer "$sig_pf32" "$sig_untrusted")" \
    "$(sig_answer 'C:\changed\NMShell402-x64.dll' "$sig_bad_digest")" \
    "$(sig_answer 'C:\unsigned.dll' "TRUST_E_NOSIGNATURE (0x800B0100)")"

# The root goes into the machine's Root store through the certificate API
# (CertAddEncodedCertificateToStore), which keeps it in the registry under
# HKLM\Software\Microsoft\SystemCertificates\Root; both bitnesses see it.
out=$(cd "$sig_c" && nm_wine "$NM_BIN/nm_verify_trust.exe" --add-root 'C:\test-root.pem' "$sig_pf64" "$sig_pf32" \
    'C:\signed\x64\nmshell.exe' 'C:\signed\x64\nmutil.exe' 'C:\signed\x64\nmsettings.exe' \
    'C:\changed\NMShell402-x64.dll')
nm_expect "64-bit process, test root trusted: the installed DLLs and the tools are trusted, the changed DLL is not" "$out" \
    "root added: Nullmark Test Root" \
    "$(sig_answer "$sig_pf64" "$sig_trusted")" \
    "$(sig_answer "$sig_pf32" "$sig_trusted")" \
    "$(sig_answer 'C:\signed\x64\nmshell.exe' "$sig_trusted")" \
    "$(sig_answer 'C:\signed\x64\nmutil.exe' "$sig_trusted")" \
    "$(sig_answer 'C:\signed\x64\nmsettings.exe' "$sig_trusted")" \
    "$(sig_answer 'C:\changed\NMShell402-x64.dll' "$sig_bad_digest")"

# The same question from a 32-bit process, of the shipping DLL and its tools.
sig_check32() {
    local out
    out=$(cd "$WINEPREFIX/drive_c" && nm_wine32 "$NM_BIN32/nm_verify_trust.exe" "$sig_pf32" 'C:\signed\x86\nmshell.exe' \
        'C:\signed\x86\nmutil.exe' 'C:\signed\x86\nmsettings.exe' 'C:\changed\NMShell402-x86.dll')
    nm_expect "32-bit process, test root trusted: the installed 32-bit DLL and the tools are trusted, the changed DLL is not" \
        "$out" \
        "$(sig_answer "$sig_pf32" "$sig_trusted")" \
        "$(sig_answer 'C:\signed\x86\nmshell.exe' "$sig_trusted")" \
        "$(sig_answer 'C:\signed\x86\nmutil.exe' "$sig_trusted")" \
        "$(sig_answer 'C:\signed\x86\nmsettings.exe' "$sig_trusted")" \
        "$(sig_answer 'C:\changed\NMShell402-x86.dll' "$sig_bad_digest")"
}
if [ -z "$NM_BIN32" ]; then
    wine_fail "32-bit process: no 32-bit build given to the suite"
else
    nm_wine32_check "32-bit process: WinVerifyTrust" sig_check32
fi
[ -n "$sig_changed" ] || wine_fail "no byte could be changed in the installed DLLs"
nm_stop_prefix
