# The real DLL activated through its exports, and the Win32-only unit tests.
nm_new_prefix foundation

nm_gtest "unit tests (Win32 calls only)" "$NM_BIN/nm_tests.exe"

out=$(nm_wine "$NM_BIN/nmshell.exe" probe 'C:\docs\a.txt' 'C:\docs\b.txt' 'C:\docs\c.txt')
nm_expect "probe: activation, identities and reference counts" "$out" \
    "DllCanUnloadNow before activation: S_OK" \
    "CreateInstance(IID_IShellExtInit): S_OK" \
    "QueryInterface: IUnknown is IShellExtInit: yes; IContextMenu is a separate interface: yes; IClassFactory: E_NOINTERFACE" \
    "reference count: AddRef through IContextMenu -> 4, Release through IShellExtInit -> 3" \
    "Initialize: S_OK (data object references while held: 2)" \
    "DllCanUnloadNow while the object lives: S_FALSE" \
    "Release: 1, then 0" \
    "data object references after the release: 1" \
    "DllCanUnloadNow after the release: S_OK"
nm_expect "probe: three files captured in order on the NT family" "$out" \
    "platform: Windows NT family" \
    "selection: 3 item(s)" \
    '  [0] C:\docs\a.txt' \
    '  [1] C:\docs\b.txt' \
    '  [2] C:\docs\c.txt'

out=$(nm_wine "$NM_BIN/nmshell.exe" probe 'C:\' 'D:\')
nm_expect "probe: drive roots arrive as C:\\" "$out" "selection: 2 item(s)" '  [0] C:\' '  [1] D:\'

long='C:\'$(printf 'x%.0s' $(seq 1 300))
out=$(nm_wine "$NM_BIN/nmshell.exe" probe "$long")
nm_expect "probe: a 303-character path is cut to 259" "$out" "  [0] ${long:0:259}"

nm_stop_prefix
