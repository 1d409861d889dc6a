#include "support/volume_image.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "hostwin/machine.h"

namespace nmtest {

ImageFile::ImageFile(uint64_t sectors) {
    std::string pattern = (std::filesystem::temp_directory_path() / "nm-volume-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw std::runtime_error("cannot make an image file");
    ::close(fd);
    path_ = pattern;
    std::filesystem::resize_file(path_, sectors * 512);
}

ImageFile::~ImageFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

void ImageFile::WriteSector(uint64_t index, const Sector& sector) const {
    std::fstream file(path_, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(index * 512));
    file.write(reinterpret_cast<const char*>(sector.bytes.data()), 512);
}

Sector ImageFile::ReadSector(uint64_t index) const {
    Sector sector;
    std::ifstream file(path_, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(index * 512));
    file.read(reinterpret_cast<char*>(sector.bytes.data()), 512);
    return sector;
}

void AddImageDrive(char letter, const std::string& fileSystem, const std::string& imagePath) {
    hostwin::Machine::DriveSetup drive;
    drive.letter = letter;
    drive.fileSystem = fileSystem;
    hostwin::Machine::AddDrive(drive);
    if (!hostwin::Machine::AttachVolumeImage(letter, imagePath))
        throw std::runtime_error("cannot attach " + imagePath);
}

std::string RunCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        if (status)
            *status = -1;
        return output;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    const int rc = ::pclose(pipe);
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return output;
}

}  // namespace nmtest
