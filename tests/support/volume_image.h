// Disk images for the raw-volume tests on the host: a temporary image file
// and a simulated drive backed by it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nmtest {

// A sector as bytes, with little-endian stores at boot-sector offsets.
struct Sector {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(512);
    Sector& Put8(size_t at, uint8_t v) { bytes.at(at) = v; return *this; }
    Sector& Put16(size_t at, uint16_t v) { return Put8(at, v & 0xFF).Put8(at + 1, v >> 8); }
    Sector& Put32(size_t at, uint32_t v) { return Put16(at, v & 0xFFFF).Put16(at + 2, v >> 16); }
    Sector& Put64(size_t at, uint64_t v) { return Put32(at, v & 0xFFFFFFFF).Put32(at + 4, v >> 32); }
    Sector& PutText(size_t at, const std::string& text) {
        for (size_t i = 0; i < text.size(); ++i)
            Put8(at + i, static_cast<uint8_t>(text[i]));
        return *this;
    }
};

// A temporary image of `sectors` zero sectors, removed with the object.
class ImageFile {
public:
    explicit ImageFile(uint64_t sectors);
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    const std::string& path() const { return path_; }
    void WriteSector(uint64_t index, const Sector& sector) const;
    Sector ReadSector(uint64_t index) const;

private:
    std::string path_;
};

// Adds drive `letter` (fixed) whose system report names `fileSystem` and
// whose sectors are the image at `imagePath`.
void AddImageDrive(char letter, const std::string& fileSystem, const std::string& imagePath);

// Runs a shell command; its standard output, and its exit status in *status.
std::string RunCommand(const std::string& command, int* status = nullptr);

}  // namespace nmtest
