#include "ioutils/path_parts.h"

#include <cctype>

std::string LowerCopy(const std::string& text) {
    std::string lower = text;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string PartBefore(const char* path, char separator) {
    if (path == nullptr)
        return std::string();
    const std::string text = path;
    const size_t at = text.rfind(separator);
    return at == std::string::npos ? std::string() : text.substr(0, at);
}

std::string DirectoryOf(const char* path) {
    std::string folder = LowerCopy(PartBefore(path, '\\'));
    if (folder.size() == 2 && folder[1] == ':')
        folder += '\\';
    return folder;
}

std::string FileNameOf(const char* path) {
    if (path == nullptr)
        return std::string();
    const std::string text = path;
    const size_t at = text.rfind('\\');
    return at == std::string::npos ? text : text.substr(at + 1);
}

std::string ExtensionOf(const char* path) {
    if (path == nullptr)
        return std::string();
    const std::string text = path;
    const size_t at = text.rfind('.');
    return at == std::string::npos ? std::string() : text.substr(at + 1);
}
