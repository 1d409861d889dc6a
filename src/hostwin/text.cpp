#include "text.h"

#include "ansi_names.h"

BOOL WINAPI IsCharAlphaA(CHAR ch) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return TRUE;
    switch (c) {
    case 0x83:  // f with hook
    case 0x88:  // modifier circumflex, a letter by its Unicode class
    case 0x8A:  // S caron
    case 0x8C:  // OE
    case 0x8E:  // Z caron
    case 0x9A:  // s caron
    case 0x9C:  // oe
    case 0x9E:  // z caron
    case 0x9F:  // Y diaeresis
    case 0xAA:  // feminine ordinal
    case 0xB5:  // micro sign
    case 0xBA:  // masculine ordinal
        return TRUE;
    default:
        // The Latin-1 letters, except the multiplication and division signs.
        return c >= 0xC0 && c != 0xD7 && c != 0xF7;
    }
}

UINT WINAPI GetACP() { return hostwin::detail::CodePage(); }

BOOL WINAPI IsDBCSLeadByte(BYTE TestChar) { return hostwin::detail::IsLeadByte(TestChar) ? TRUE : FALSE; }

LPSTR WINAPI CharNextA(LPCSTR lpsz) {
    if (*lpsz == '\0')
        return const_cast<LPSTR>(lpsz);
    if (IsDBCSLeadByte(static_cast<BYTE>(*lpsz)) && lpsz[1] != '\0')
        return const_cast<LPSTR>(lpsz + 2);
    return const_cast<LPSTR>(lpsz + 1);
}
