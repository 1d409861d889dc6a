#include "wide_text.h"

#include <cstring>
#include <string>

#include "ansi_names.h"
#include "errors.h"

namespace {

std::u16string Utf16FromUtf8(const std::string& text) {
    std::u16string wide;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned code = 0xFFFD;
        size_t length = 1;
        if (c < 0x80) {
            code = c;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
            code = (c & 0x1Fu) << 6 | (text[i + 1] & 0x3F);
            length = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < text.size()) {
            code = (c & 0x0Fu) << 12 | (text[i + 1] & 0x3Fu) << 6 | (text[i + 2] & 0x3F);
            length = 3;
        } else if ((c & 0xF8) == 0xF0 && i + 3 < text.size()) {
            code = (c & 0x07u) << 18 | (text[i + 1] & 0x3Fu) << 12 | (text[i + 2] & 0x3Fu) << 6 | (text[i + 3] & 0x3F);
            length = 4;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            wide += static_cast<char16_t>(0xD800 + (code >> 10));
            wide += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            wide += static_cast<char16_t>(code);
        }
        i += length;
    }
    return wide;
}

std::string Utf8FromUtf16(const char16_t* text, size_t count) {
    std::string utf8;
    for (size_t i = 0; i < count; ++i) {
        unsigned code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | code >> 6);
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            utf8 += static_cast<char>(0xE0 | code >> 12);
            utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | code >> 18);
            utf8 += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

template <typename Unit>
int Deliver(const std::basic_string<Unit>& text, Unit* out, int room) {
    if (room == 0 || out == nullptr)
        return static_cast<int>(text.size());
    if (room < static_cast<int>(text.size())) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, text.data(), text.size() * sizeof(Unit));
    return static_cast<int>(text.size());
}

}  // namespace

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                               int cchWideChar) {
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || (CodePage != CP_ACP && CodePage != CP_UTF8)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string text = cbMultiByte < 0 ? std::string(lpMultiByteStr, std::strlen(lpMultiByteStr) + 1)
                                       : std::string(lpMultiByteStr, static_cast<size_t>(cbMultiByte));
    const std::string utf8 = CodePage == CP_UTF8 ? text : hostwin::detail::AnsiToHost(text);
    return Deliver(Utf16FromUtf8(utf8), lpWideCharStr, cchWideChar);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                               int cbMultiByte, LPCSTR, LPBOOL lpUsedDefaultChar) {
    if (lpWideCharStr == nullptr || cchWideChar == 0 || (CodePage != CP_ACP && CodePage != CP_UTF8)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t count = 0;
    if (cchWideChar < 0)
        while (lpWideCharStr[count++] != 0) {
        }
    else
        count = static_cast<size_t>(cchWideChar);
    const std::string utf8 = Utf8FromUtf16(lpWideCharStr, count);
    bool exact = true;
    const std::string text = CodePage == CP_UTF8 ? utf8 : hostwin::detail::HostToAnsi(utf8, &exact);
    if (lpUsedDefaultChar != nullptr)
        *lpUsedDefaultChar = exact ? FALSE : TRUE;
    return Deliver(text, lpMultiByteStr, cbMultiByte);
}
