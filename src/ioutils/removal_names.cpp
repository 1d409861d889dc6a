#include "ioutils/removal_names.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::vector<std::string> SplitPathNames(const std::string& path) {
    std::vector<std::string> names(1);
    const char* end = path.c_str() + path.size();
    for (const char* at = path.c_str(); at < end;) {
        const char* next = CharNextA(at);
        if (next == at || next > end)
            next = end;  // a lead byte cut off by the end of the text
        if (next - at == 1 && IsSeparator(*at))
            names.emplace_back();
        else
            names.back().append(at, next);
        at = next;
    }
    return names;
}

size_t LastNameStart(const std::string& path) {
    size_t start = 0;
    const char* begin = path.c_str();
    const char* end = begin + path.size();
    for (const char* at = begin; at < end;) {
        const char* next = CharNextA(at);
        if (next == at || next > end)
            next = end;
        if (next - at == 1 && IsSeparator(*at))
            start = static_cast<size_t>(next - begin);
        at = next;
    }
    return start;
}

WideName WideFromAnsi(const std::string& text) {
    if (text.empty())
        return WideName();
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return WideName();
    WideName wide(static_cast<size_t>(length), WCHAR{0});
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string AnsiFromWide(const WideName& name) {
    if (name.empty())
        return std::string();
    const int length =
        WideCharToMultiByte(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::string(name.size(), '?');
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, name.data(), static_cast<int>(name.size()), &text[0], length, nullptr, nullptr);
    return text;
}
