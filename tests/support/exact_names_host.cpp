#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "hostwin/machine.h"
#include "support/exact_names.h"

namespace nmtest {

bool MakeExactEntry(const std::string& folder, const std::u16string& name, bool directory, const std::string& content) {
    std::string host = hostwin::Machine::HostPath(folder);
    if (host.empty())
        return false;
    host += '/';
    for (char16_t c : name) {  // the tests' names lie in the Basic Multilingual Plane
        if (c < 0x80) {
            host.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            host.push_back(static_cast<char>(0xC0 | (c >> 6)));
            host.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            host.push_back(static_cast<char>(0xE0 | (c >> 12)));
            host.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            host.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    if (directory)
        return ::mkdir(host.c_str(), 0755) == 0;
    const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    return ::close(fd) == 0 && written;
}

void RemoveExactTree(const std::string& folder) {
    const std::string host = hostwin::Machine::HostPath(folder);
    std::error_code ignored;
    if (!host.empty())
        std::filesystem::remove_all(host, ignored);
}

}  // namespace nmtest
