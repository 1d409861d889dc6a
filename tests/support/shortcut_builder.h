// Shortcut (".lnk") files byte by byte, in the layout the shell writes: the
// 76-byte header, an item-identifier list, and the link-information block
// with a local path (after a volume label) or a network share and suffix.
// For tests, benchmarks and fuzz seeds.
#pragma once

#include <cstdint>
#include <string>

namespace nmtest {

struct ShortcutFields {
    std::string localPath;  // empty: a network target
    std::string label;      // the volume label in front of a local path
    std::string share;      // "\\server\share" of a network target
    std::string suffix;     // the common path suffix
    uint16_t idListSize = 20;
};

inline void PutU16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
inline void PutU32(std::string& s, uint32_t v) {
    PutU16(s, v & 0xFFFF);
    PutU16(s, v >> 16);
}
inline void PutText(std::string& s, const std::string& text) {
    s += text;
    s += '\0';
}

inline std::string BuildShortcut(const ShortcutFields& fields) {
    std::string link;
    PutU32(link, 0x4C);                                    // header size
    link += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);  // class id
    PutU32(link, 0x3);                                     // has an id list and link information
    link.resize(76, '\0');
    PutU16(link, fields.idListSize);
    link += std::string(fields.idListSize, '\x11');

    const bool local = !fields.localPath.empty();
    constexpr uint32_t kHeaderSize = 0x1C;
    std::string body;
    uint32_t volumeOffset = 0, localOffset = 0, networkOffset = 0;
    if (local) {
        volumeOffset = kHeaderSize;
        std::string volume;
        PutU32(volume, 0);           // size, set below
        PutU32(volume, 3);           // fixed drive
        PutU32(volume, 0x1234ABCD);  // serial number
        PutU32(volume, 0x10);        // label offset
        PutText(volume, fields.label);
        volume[0] = static_cast<char>(volume.size());
        body += volume;
        localOffset = kHeaderSize + static_cast<uint32_t>(body.size());
        PutText(body, fields.localPath);
    } else {
        networkOffset = kHeaderSize;
        std::string network;
        PutU32(network, 0);           // size, set below
        PutU32(network, 0);           // flags
        PutU32(network, 0x14);        // share name offset
        PutU32(network, 0);           // no device name
        PutU32(network, 0x00020000);  // provider type
        PutText(network, fields.share);
        network[0] = static_cast<char>(network.size());
        body += network;
    }
    const uint32_t suffixOffset = kHeaderSize + static_cast<uint32_t>(body.size());
    PutText(body, fields.suffix);

    PutU32(link, kHeaderSize + static_cast<uint32_t>(body.size()));
    PutU32(link, kHeaderSize);
    PutU32(link, local ? 1 : 2);
    PutU32(link, volumeOffset);
    PutU32(link, localOffset);
    PutU32(link, networkOffset);
    PutU32(link, suffixOffset);
    link += body;
    PutU32(link, 0);  // no extra data
    return link;
}

}  // namespace nmtest
