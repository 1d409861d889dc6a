// DiskVolume on hand-built boot sectors: identification by type and system
// report, the geometry of each view, hostile boot sectors, the access
// methods and their fall-back, the failure boxes, the free-cluster counts,
// clusters, the label and the space questions.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "hostwin/machine.h"
#include "ioutils/disk_volume.h"
#include "platform/win32.h"
#include "support/volume_image.h"
#include "nmutil.h"

namespace {

using hostwin::Machine;
using nmtest::ImageFile;
using nmtest::Sector;

// The common BIOS parameter block at its published offsets.
Sector Bpb(uint16_t bytesPerSector, uint8_t perCluster, uint16_t reserved, uint8_t fats, uint16_t rootEntries,
           uint16_t total16, uint8_t media, uint16_t fatSize16, uint32_t total32) {
    Sector s;
    s.Put8(0, 0xEB).Put8(1, 0x3C).Put8(2, 0x90).PutText(3, "MSWIN4.1");
    s.Put16(11, bytesPerSector).Put8(13, perCluster).Put16(14, reserved).Put8(16, fats).Put16(17, rootEntries);
    s.Put16(19, total16).Put8(21, media).Put16(22, fatSize16).Put32(32, total32);
    s.Put8(510, 0x55).Put8(511, 0xAA);
    return s;
}

// 16 MB FAT16: data from 32 x 2 + 512 x 32 / 512 + 4 = 100, (32768 - 100) / 4 = 8167 clusters.
Sector Fat16Small() { return Bpb(512, 4, 4, 2, 512, 32768, 0xF8, 32, 0).PutText(43, "SMALL16    ").PutText(54, "FAT16   "); }
// A 1.44 MB floppy: data from 9 x 2 + 14 + 1 = 33, 2847 clusters.
Sector Floppy() { return Bpb(512, 1, 1, 2, 224, 2880, 0xF0, 9, 0).PutText(43, "FLOPPY     ").PutText(54, "FAT12   "); }
// 64 MB FAT32: data from 1009 x 2 + 32 = 2050, 129022 clusters.
Sector Fat32() {
    return Bpb(512, 1, 32, 2, 0, 0, 0xF8, 0, 131072)
        .Put32(36, 1009).Put32(44, 2).Put16(48, 1).Put16(50, 6)
        .PutText(71, "BIG32      ").PutText(82, "FAT32   ");
}
Sector Ntfs(uint64_t totalSectors, uint8_t perCluster) {
    Sector s = Bpb(512, perCluster, 0, 0, 0, 0, 0xF8, 0, 0);
    return s.PutText(3, "NTFS    ").Put64(40, totalSectors).Put64(48, 4);
}

class DiskVolumeTest : public testing::Test {
protected:
    void SetUp() override { Machine::Reset(); }
    void TearDown() override { Machine::Reset(); }

    // Drive `letter` backed by a new image of `sectors` sectors, `boot` first.
    const ImageFile& Volume(char letter, const std::string& fileSystem, const Sector& boot, uint64_t sectors = 4096) {
        images_.push_back(std::make_unique<ImageFile>(sectors));
        images_.back()->WriteSector(0, boot);
        nmtest::AddImageDrive(letter, fileSystem, images_.back()->path());
        return *images_.back();
    }

    std::vector<std::unique_ptr<ImageFile>> images_;
};

TEST_F(DiskVolumeTest, IdentifiesFromTheBootSectorAndTheSystemsReport) {
    struct Case {
        const char* name;
        Sector boot;
        const char* fileSystem;
        BYTE type;
        DWORD dataStart;
        DWORD clusters;
    };
    const Case cases[] = {
        {"FAT32 padded with blanks", Fat32(), "FAT32", 32, 2050, 129022},
        {"FAT16 reported as FAT", Fat16Small(), "FAT", 16, 100, 8167},
        {"FAT16 reported as FAT16", Fat16Small(), "FAT16", 16, 100, 8167},
        {"1.44 MB floppy", Floppy(), "FAT", 12, 33, 2847},
        {"floppy with one FAT", Floppy().Put8(16, 1), "FAT", 0, 0, 0},
        {"FAT12 with 1024-byte sectors", Floppy().Put16(11, 1024), "FAT", 0, 0, 0},
        {"FAT12 above 32,679 sectors", Floppy().Put16(19, 32680), "FAT", 0, 0, 0},
        {"FAT12 of 32,679 sectors", Floppy().Put16(19, 32679), "FAT", 12, 33, 32646},
        {"FAT12 with no 16-bit total", Floppy().Put16(19, 0).Put32(32, 2880), "FAT", 0, 0, 0},
        {"type text cut after five characters", Fat32().PutText(82, "FAT32XYZ"), "FAT32", 32, 2050, 129022},
        {"NTFS named in lower case", Ntfs(8192, 8), "ntfs", 1, 0, 0},
        {"the system's NTFS wins over a FAT boot sector", Fat32(), "NTFS", 1, 0, 0},
        {"a file system that is neither", Fat16Small(), "CDFS", 0, 0, 0},
        // A boot sector is outside input: geometry that describes no volume.
        {"no bytes per sector", Fat16Small().Put16(11, 0), "FAT", 0, 0, 0},
        {"no sectors per cluster", Fat16Small().Put8(13, 0), "FAT", 0, 0, 0},
        {"no FATs", Fat16Small().Put8(16, 0), "FAT", 0, 0, 0},
        {"FAT32 without FATs", Fat32().Put8(16, 0), "FAT32", 0, 0, 0},
        {"FAT32 with no sectors per cluster", Fat32().Put8(13, 0), "FAT32", 0, 0, 0},
        {"FATs reaching past the volume", Fat16Small().Put16(22, 20000), "FAT", 0, 0, 0},
        {"FAT32 tables beyond 32-bit sectors", Fat32().Put32(36, 0xFFFFFFFF), "FAT32", 0, 0, 0},
        {"root directory past the volume", Fat16Small().Put16(17, 0xFFFF).Put16(19, 2000), "FAT", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Volume('C', c.fileSystem, c.boot);
        DiskVolume volume;
        EXPECT_EQ(volume.Open('C'), c.type != 0 ? 1 : 0);
        EXPECT_EQ(volume.GetFileSystemType(), c.type);
        EXPECT_EQ(volume.GetDataStartSector(), c.dataStart);
        if (c.type >= 12) {
            EXPECT_EQ(volume.GetClusterCount(), c.clusters);
        }
        EXPECT_TRUE(Machine::MessageBoxes().empty());
    }
}

TEST_F(DiskVolumeTest, GeometryComesFromTheViewOfTheType) {
    Volume('F', "FAT", Fat16Small().Put32(32, 99999));  // a stray 32-bit total is ignored below 32 MB
    Volume('G', "FAT32", Fat32());
    Volume('H', "NTFS", Ntfs(819199, 8).Put16(14, 7));
    DiskVolume fat16, fat32, ntfs;
    ASSERT_EQ(fat16.Open('f'), 1);
    ASSERT_EQ(fat32.Open('G'), 1);
    ASSERT_EQ(ntfs.Open('H'), 1);
    struct Row {
        const char* name;
        std::function<ULONGLONG(const DiskVolume&)> get;
        ULONGLONG fat16, fat32, ntfs;
    };
    const Row rows[] = {
        {"letter", [](const DiskVolume& v) { return v.GetDriveLetter(); }, 'F', 'G', 'H'},
        {"type", [](const DiskVolume& v) { return v.GetFileSystemType(); }, 16, 32, 1},
        {"access method", [](const DiskVolume& v) { return v.GetAccessMethod(); }, 4, 4, 4},
        {"bytes per sector", [](const DiskVolume& v) { return v.GetBytesPerSector(); }, 512, 512, 512},
        {"sectors per cluster", [](const DiskVolume& v) { return v.GetSectorsPerCluster(); }, 4, 1, 8},
        {"cluster size", [](const DiskVolume& v) { return v.GetClusterSize(); }, 2048, 512, 4096},
        {"reserved", [](const DiskVolume& v) { return v.GetReservedSectors(); }, 4, 32, 7},
        {"FAT size", [](const DiskVolume& v) { return v.GetFatSize(); }, 32, 1009, 0},
        {"root entries", [](const DiskVolume& v) { return v.GetRootEntryCount(); }, 512, 0, 0},
        {"media", [](const DiskVolume& v) { return v.GetMediaDescriptor(); }, 0xF8, 0xF8, 0xF8},
        {"first root sector", [](const DiskVolume& v) { return v.GetFirstRootDirSector(); }, 68, 0xFFFFFFFF,
         0xFFFFFFFF},
        {"root cluster", [](const DiskVolume& v) { return v.GetRootCluster(); }, 0xFFFFFFFF, 2, 0xFFFFFFFF},
        {"data start", [](const DiskVolume& v) { return v.GetDataStartSector(); }, 100, 2050, 0},
        {"cluster count", [](const DiskVolume& v) { return v.GetClusterCount(); }, 8167, 129022, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.get(fat16), r.fat16);
        EXPECT_EQ(r.get(fat32), r.fat32);
        EXPECT_EQ(r.get(ntfs), r.ntfs);
    }
    EXPECT_EQ(ntfs.GetNtfsClusterCount(), (819199u - 7) / 8);
}

TEST_F(DiskVolumeTest, OpenWantsALetterAndAVolumeBehindIt) {
    DiskVolume volume;
    EXPECT_EQ(volume.Open('1'), 0);
    EXPECT_EQ(volume.GetDriveLetter(), 0);
    EXPECT_TRUE(Machine::MessageBoxes().empty());

    // No drive Q: the volume device cannot be opened, and the user is told why.
    EXPECT_EQ(volume.Open('q'), 0);
    EXPECT_EQ(volume.GetDriveLetter(), 'Q');
    ASSERT_EQ(Machine::MessageBoxes().size(), 1u);
    EXPECT_EQ(Machine::MessageBoxes()[0].caption, "Greyfell - System Error");
    EXPECT_EQ(Machine::MessageBoxes()[0].text, "The system cannot find the file specified.\r\n");
    EXPECT_EQ(Machine::MessageBoxes()[0].type, static_cast<UINT>(MB_ICONINFORMATION));

    // A volume that was identified and is opened again as another drive
    // keeps nothing of the first.
    Volume('C', "FAT32", Fat32());
    ASSERT_EQ(volume.Open('C'), 1);
    Volume('D', "CDFS", Fat16Small());
    EXPECT_EQ(volume.Open('D'), 0);
    EXPECT_EQ(volume.GetFileSystemType(), 0);
    EXPECT_EQ(volume.GetDataStartSector(), 0u);
}

// Sector 7 of each drive holds its letter, so that a transport that takes
// the wrong drive number reads another drive's sector.
TEST_F(DiskVolumeTest, EachAccessMethodReadsAndWritesTheRightDrive) {
    struct Case {
        const char* name;
        std::function<void()> system;
        WORD method;
    };
    const Case cases[] = {
        {"Windows XP", [] { Machine::SetWindowsNT(5, 1, 2600); }, 4},
        {"Windows Me", [] { Machine::SetWindows9x(90, 0x45A0BB8); }, 3},
        {"Windows 98", [] { Machine::SetWindows9x(10, 0x040A08AE); }, 2},
        {"Windows 95", [] { Machine::SetWindows9x(0, 0x040003B6); }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine::Reset();
        c.system();
        const ImageFile& c1 = Volume('C', "FAT32", Fat32());
        const ImageFile& d = Volume('D', "FAT32", Fat32());
        c1.WriteSector(7, Sector().PutText(0, "drive C"));
        d.WriteSector(7, Sector().PutText(0, "drive D"));
        DiskVolume volume;
        ASSERT_EQ(volume.Open('D'), 1);
        EXPECT_EQ(volume.GetAccessMethod(), c.method);

        std::vector<BYTE> two(1024);
        ASSERT_EQ(volume.ReadSectors(two.data(), 7, 2), 1u);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(two.data())), "drive D");
        std::vector<BYTE> pattern(1024);
        for (size_t i = 0; i < pattern.size(); ++i)
            pattern[i] = static_cast<BYTE>(i * 7 + c.method);
        ASSERT_EQ(volume.WriteSectors(pattern.data(), 300, 2), 1u);
        EXPECT_EQ(d.ReadSector(300).bytes, std::vector<uint8_t>(pattern.begin(), pattern.begin() + 512));
        EXPECT_EQ(d.ReadSector(301).bytes, std::vector<uint8_t>(pattern.begin() + 512, pattern.end()));
        EXPECT_EQ(c1.ReadSector(300).bytes, std::vector<uint8_t>(512));
        EXPECT_TRUE(Machine::MessageBoxes().empty());
    }
}

TEST_F(DiskVolumeTest, Windows98FallsBackToInterrupt25hForGood) {
    Machine::SetWindows9x(10, 0x040A08AE);
    const ImageFile& image = Volume('C', "FAT32", Fat32());
    Machine::FailVwin32Call(6, 0x1F);  // extended access refuses sector 0
    DiskVolume volume;
    ASSERT_EQ(volume.Open('C'), 1);
    EXPECT_EQ(volume.GetAccessMethod(), 1);
    EXPECT_EQ(volume.GetFileSystemType(), 32);
    ASSERT_EQ(Machine::MessageBoxes().size(), 1u);
    EXPECT_EQ(Machine::MessageBoxes()[0].caption, "Drive Control Error");
    EXPECT_EQ(Machine::MessageBoxes()[0].text.rfind("Error: ", 0), 0u);
    EXPECT_EQ(Machine::MessageBoxes()[0].type, static_cast<UINT>(MB_ICONERROR));

    // Extended access stays refused; interrupts 25h and 26h carry on.
    Machine::FailVwin32Call(6, 0x1F, -1);
    BYTE sector[512] = {'x'};
    EXPECT_EQ(volume.WriteSectors(sector, 9, 1), 1u);
    EXPECT_EQ(image.ReadSector(9).bytes[0], 'x');
    EXPECT_EQ(volume.ReadSectors(sector, 0, 1), 1u);
    EXPECT_EQ(volume.GetAccessMethod(), 1);

    // The first Windows 95 release has no extended access at all.
    Machine::ClearFailures();
    Machine::SetWindows9x(0, 950);
    DiskVolume old;
    ASSERT_EQ(old.Open('C'), 1);
    EXPECT_EQ(old.GetAccessMethod(), 1);
}

TEST_F(DiskVolumeTest, FailuresShowTheirBoxes) {
    struct Box {
        const char* caption;
        const char* text;  // null: any text
        UINT type;
    };
    struct Case {
        const char* name;
        std::function<void()> system;
        bool write;
        std::function<void()> arrange;
        std::vector<Box> boxes;
    };
    const auto nt = [] {};
    const auto win98 = [] { Machine::SetWindows9x(10, 0x040A08AE); };
    const auto win95 = [] { Machine::SetWindows9x(0, 950); };
    const Box systemBox{"Greyfell - System Error", nullptr, MB_ICONINFORMATION};
    const Case cases[] = {
        {"volume device: read past the volume's end", nt, false, [] {}, {systemBox}},
        {"volume device: device cannot be opened", nt, false,
         [] { Machine::FailNext("CreateFileA", ERROR_ACCESS_DENIED); },
         {{"Greyfell - System Error", "Access is denied.\r\n", MB_ICONINFORMATION}}},
        {"volume device: read fails", nt, false, [] { Machine::FailNext("ReadFile", 23); },
         {{"Greyfell - System Error", "Error: 23", MB_ICONINFORMATION}}},
        {"volume device: write-protected medium", nt, true, [] { Machine::FailNext("WriteFile", ERROR_WRITE_PROTECT); },
         {{"Greyfell - System Error", "The media is write protected.\r\n", MB_ICONINFORMATION}}},
        {"extended read sets carry", win98, false, [] { Machine::FailVwin32Call(6, 0x1B); },
         {{"Drive Control Error", nullptr, MB_ICONERROR}}},
        {"extended read: DeviceIoControl fails", win98, false,
         [] { Machine::FailNext("DeviceIoControl", ERROR_INVALID_FUNCTION); },
         {{"Drive Control Error", "Error: 1", MB_ICONERROR}}},
        {"extended write sets carry", win98, true, [] { Machine::FailVwin32Call(6, 0x1B); }, {}},
        {"extended read: no vwin32", win98, false, [] { Machine::FailNext("CreateFileA", ERROR_FILE_NOT_FOUND); },
         {}},
        {"extended write: no vwin32", win98, true, [] { Machine::FailNext("CreateFileA", ERROR_FILE_NOT_FOUND); },
         {{"Greyfell - System Error", "The system cannot find the file specified.\r\n", MB_ICONINFORMATION}}},
        {"interrupt 25h sets carry", win95, false, [] { Machine::FailVwin32Call(2, 0x1B); }, {}},
        {"interrupt 26h sets carry", win95, true, [] { Machine::FailVwin32Call(3, 0x1B); }, {}},
        {"interrupt 25h: no vwin32", win95, false, [] { Machine::FailNext("CreateFileA", ERROR_FILE_NOT_FOUND); },
         {}},
        {"interrupt 26h: no vwin32", win95, true, [] { Machine::FailNext("CreateFileA", ERROR_FILE_NOT_FOUND); },
         {systemBox}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine::Reset();
        c.system();
        Volume('C', "FAT32", Fat32(), 64);
        DiskVolume volume;
        ASSERT_EQ(volume.Open('C'), 1);
        c.arrange();
        BYTE buffer[1024] = {};
        // Sectors 63 and 64 of a 64-sector volume: only the device notices the end.
        const DWORD first = std::string(c.name).find("past") != std::string::npos ? 63 : 10;
        const DWORD result = c.write ? volume.WriteSectors(buffer, first, 2) : volume.ReadSectors(buffer, first, 2);
        EXPECT_EQ(result, 0u);
        const auto boxes = Machine::MessageBoxes();
        ASSERT_EQ(boxes.size(), c.boxes.size());
        for (size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_EQ(boxes[i].caption, c.boxes[i].caption);
            if (c.boxes[i].text) {
                EXPECT_EQ(boxes[i].text, c.boxes[i].text);
            }
            EXPECT_EQ(boxes[i].type, c.boxes[i].type);
            EXPECT_EQ(boxes[i].owner, nullptr);
        }
        EXPECT_EQ(Machine::OpenHandles(), 0u);
    }
}

// A FAT whose entries are all used except those listed.
void WriteFat(const ImageFile& image, DWORD firstSector, DWORD sectors, int bits, DWORD entries,
              const std::vector<DWORD>& freeEntries) {
    std::vector<uint8_t> fat(sectors * 512, 0);
    auto put = [&](DWORD entry, DWORD value) {
        if (bits == 12) {
            const size_t at = entry * 3 / 2;
            if (entry % 2 == 0) {
                fat[at] = value & 0xFF;
                fat[at + 1] = static_cast<uint8_t>((fat[at + 1] & 0xF0) | (value >> 8 & 0x0F));
            } else {
                fat[at] = static_cast<uint8_t>((fat[at] & 0x0F) | (value << 4 & 0xF0));
                fat[at + 1] = value >> 4 & 0xFF;
            }
        } else {
            for (int b = 0; b < bits / 8; ++b)
                fat[entry * (bits / 8) + b] = value >> (8 * b) & 0xFF;
        }
    };
    for (DWORD e = 0; e < entries && (e + 1) * bits / 8 <= fat.size(); ++e)
        put(e, 0x00000FF7 + e % 7);  // in use: chains and end marks of many shapes
    for (DWORD e : freeEntries)
        put(e, 0);
    for (DWORD s = 0; s < sectors; ++s) {
        Sector sector;
        std::memcpy(sector.bytes.data(), fat.data() + s * 512, 512);
        image.WriteSector(firstSector + s, sector);
    }
}

TEST_F(DiskVolumeTest, CountsFreeFatEntriesOfEachWidth) {
    // The floppy: entries 2..2848; even and odd 12-bit entries packed in pairs.
    const ImageFile& floppy = Volume('A', "FAT", Floppy(), 2880);
    WriteFat(floppy, 1, 9, 12, 2849, {2, 3, 4, 1001, 2847, 2848, 2849});
    // FAT16 of 150 sectors over three chunks (64, 64, 22), entries across
    // the chunk edges; 38,396 clusters, so the table's tail is not counted.
    const ImageFile& fat16 = Volume('B', "FAT16", Bpb(512, 1, 4, 2, 512, 0, 0xF8, 150, 38732).PutText(54, "FAT16   "),
                                    38732);
    WriteFat(fat16, 4, 150, 16, 150 * 256, {2, 16383, 16384, 16385, 32767, 32768, 38397, 38398, 38399});
    // FAT32: a value with only its top nibble set is in use all the same.
    const ImageFile& fat32 = Volume('C', "FAT32", Fat32(), 131072);
    WriteFat(fat32, 32, 1009, 32, 129024, {2, 8191, 8192, 129023, 129024});
    // FAT12 as large as its type goes: 96 sectors of table in two chunks;
    // entry 21845 straddles their edge, 32473 is the last cluster.
    const ImageFile& large12 = Volume('D', "FAT", Bpb(512, 1, 1, 2, 224, 32679, 0xF8, 96, 0).PutText(54, "FAT12   "),
                                      32679);
    WriteFat(large12, 1, 96, 12, 32475, {2, 21844, 21845, 21846, 30001, 32473, 32474});
    Sector topNibble = fat32.ReadSector(32);
    topNibble.Put32(2 * 4, 0xF0000000);
    fat32.WriteSector(32, topNibble);

    struct Case {
        char letter;
        DWORD free;
    };
    // 2849 is past the floppy's last cluster (2848); 38398 past FAT16's (38397); 129024 past FAT32's.
    for (const Case& c : {Case{'A', 6}, Case{'B', 7}, Case{'C', 3}, Case{'D', 6}}) {
        SCOPED_TRACE(c.letter);
        DiskVolume volume;
        ASSERT_EQ(volume.Open(c.letter), 1);
        EXPECT_EQ(volume.GetFreeClusters(), c.free);
    }
    EXPECT_TRUE(Machine::MessageBoxes().empty());
}

TEST_F(DiskVolumeTest, HostileTablesCountNothingTheyDoNotHold) {
    // A one-sector FAT for 60,000 clusters: only its own 254 entries count.
    Volume('C', "FAT16", Bpb(512, 1, 1, 1, 16, 0, 0xF8, 1, 60003).PutText(54, "FAT16   "), 60003);
    DiskVolume volume;
    ASSERT_EQ(volume.Open('C'), 1);
    EXPECT_EQ(volume.GetClusterCount(), 60000u);
    EXPECT_EQ(volume.CountFreeClustersFat(), 254u);

    // A boot sector promising more than the image holds: the read fails, 0.
    Volume('D', "FAT32", Fat32(), 512);
    DiskVolume shortImage;
    ASSERT_EQ(shortImage.Open('D'), 1);
    EXPECT_EQ(shortImage.CountFreeClustersFat(), 0u);
    ASSERT_EQ(Machine::MessageBoxes().size(), 1u);
    EXPECT_EQ(Machine::MessageBoxes()[0].caption, "Greyfell - System Error");

    // An unidentified volume has no FAT to read.
    Volume('E', "FAT", Fat16Small().Put16(22, 0xFFFF).Put16(19, 0));
    DiskVolume unknown;
    EXPECT_EQ(unknown.Open('E'), 0);
    EXPECT_EQ(unknown.CountFreeClustersFat(), 0u);
}

// A bitmap file of `clusters` bits in which every cluster whose number is
// divisible by 3 or by 10 is in use; returns the free count.
DWORD WriteBitmap(const std::string& path, DWORD clusters) {
    std::vector<uint8_t> bits((clusters + 7) / 8 + 8, 0xFF);  // the file runs on past the volume, set
    DWORD free = 0;
    for (DWORD c = 0; c < clusters; ++c) {
        if (c % 3 == 0 || c % 10 == 0)
            continue;
        bits[c / 8] = static_cast<uint8_t>(bits[c / 8] & ~(1u << (c % 8)));
        ++free;
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bits.data()), bits.size());
    return free;
}

// NtFsControlFile as the test sees it: counts the calls, then hands them on.
using FsControl = LONG(WINAPI*)(HANDLE, HANDLE, PVOID, PVOID, PVOID, ULONG, PVOID, ULONG, PVOID, ULONG);
FsControl g_realFsControl = nullptr;
int g_fsControlCalls = 0;
LONG WINAPI CountingFsControl(HANDLE h, HANDLE e, PVOID a, PVOID c, PVOID io, ULONG code, PVOID in, ULONG inSize,
                              PVOID out, ULONG outSize) {
    ++g_fsControlCalls;
    return g_realFsControl(h, e, a, c, io, code, in, inSize, out, outSize);
}

TEST_F(DiskVolumeTest, CountsTheNtfsBitmapPageByPage) {
    const ImageFile& image = Volume('N', "NTFS", Ntfs(800000, 8), 64);
    const std::string bitmap = image.path() + ".bitmap";
    const DWORD expected = WriteBitmap(bitmap, 100000);
    ASSERT_TRUE(Machine::SetVolumeBitmap('N', bitmap, 100000));
    g_realFsControl = reinterpret_cast<FsControl>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtFsControlFile")));
    ASSERT_NE(g_realFsControl, nullptr);
    Machine::RegisterModule("ntdll.dll", {{"NtFsControlFile", &CountingFsControl}});

    for (bool pending : {false, true}) {
        SCOPED_TRACE(pending ? "answers pending" : "answers at once");
        Machine::SetVolumeBitmapPending(pending);
        g_fsControlCalls = 0;
        DiskVolume volume;
        ASSERT_EQ(volume.Open('N'), 1);
        EXPECT_EQ(volume.GetFreeClusters(), expected);
        EXPECT_EQ(g_fsControlCalls, 4);  // 32,768 bits a page, the last partly used
    }
    std::filesystem::remove(bitmap);
}

TEST_F(DiskVolumeTest, NtfsCountWithoutItsToolsIsZero) {
    Volume('N', "NTFS", Ntfs(800000, 8), 64);
    DiskVolume volume;
    ASSERT_EQ(volume.Open('N'), 1);
    // The volume answers no bitmap requests.
    EXPECT_EQ(volume.CountFreeClustersNtfs(), 0u);

    ASSERT_TRUE(Machine::RemoveExport("ntdll.dll", "NtFsControlFile"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(volume.CountFreeClustersNtfs(), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Could not find NtFsControlFile entry point in NTDLL.DLL\n");
    EXPECT_EQ(Machine::OpenHandles(), 0u);
}

TEST_F(DiskVolumeTest, ReadsClustersWhereTheTypePutsThem) {
    const ImageFile& fat = Volume('F', "FAT", Fat16Small(), 32768);
    fat.WriteSector(100, Sector().PutText(0, "cluster 2"));
    fat.WriteSector(100 + 4 * 5, Sector().PutText(0, "cluster 7"));
    const ImageFile& ntfs = Volume('N', "NTFS", Ntfs(8192, 8), 8192);
    ntfs.WriteSector(5 * 8, Sector().PutText(0, "ntfs cluster 5"));
    DiskVolume f, n;
    ASSERT_EQ(f.Open('F'), 1);
    ASSERT_EQ(n.Open('N'), 1);
    std::vector<char> buffer(4096);
    ASSERT_EQ(f.ReadCluster(buffer.data(), 2), 1u);
    EXPECT_STREQ(buffer.data(), "cluster 2");
    ASSERT_EQ(f.ReadCluster(buffer.data(), 7), 1u);
    EXPECT_STREQ(buffer.data(), "cluster 7");
    ASSERT_EQ(n.ReadCluster(buffer.data(), 5), 1u);
    EXPECT_STREQ(buffer.data(), "ntfs cluster 5");
    // FAT clusters 0 and 1 hold no data.
    EXPECT_EQ(f.ReadCluster(buffer.data(), 1), 0u);
    EXPECT_TRUE(Machine::MessageBoxes().empty());
}

TEST_F(DiskVolumeTest, BlanksTheLabelOfFatVolumesOnly) {
    struct Case {
        const char* name;
        const char* fileSystem;
        Sector boot;
        size_t labelAt;  // 0: nothing changes
    };
    const Case cases[] = {
        {"FAT12", "FAT", Floppy(), 43},
        {"FAT16", "FAT16", Fat16Small(), 43},
        {"FAT32", "FAT32", Fat32(), 71},
        {"NTFS", "NTFS", Ntfs(8192, 8).PutText(43, "NOT A LABEL"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ImageFile& image = Volume('C', c.fileSystem, c.boot);
        DiskVolume volume;
        ASSERT_EQ(volume.Open('C'), 1);
        volume.BlankVolumeLabel();
        Sector expected = c.boot;
        if (c.labelAt != 0)
            expected.PutText(c.labelAt, std::string(11, ' '));
        EXPECT_EQ(image.ReadSector(0).bytes, expected.bytes);
    }
}

// nmutil volume says "blanked" and a free count only when they are so: the
// label is read back, and a FAT that cannot be read whole is no count.  An
// image without write permission is a write-protected medium, read all the
// same.
TEST_F(DiskVolumeTest, NmutilVolumeReportsOnlyWhatHappened) {
    const auto run = [](std::vector<std::string> args, int* status) {
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        testing::internal::CaptureStdout();
        *status = RunVolume(static_cast<int>(argv.size()), argv.data());
        return testing::internal::GetCapturedStdout();
    };
    const ImageFile& image = Volume('A', "FAT", Floppy(), 2880);
    std::filesystem::permissions(image.path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::remove);
    int status = -1;
    std::string out = run({"A:", "--free", "--blank-label"}, &status);
    EXPECT_NE(out.find("\nfree clusters: 2847\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nlabel: not blanked (sector 0 was not written)\n"), std::string::npos) << out;
    EXPECT_EQ(status, 1);
    EXPECT_EQ(image.ReadSector(0).bytes, Floppy().bytes);

    std::filesystem::permissions(image.path(), std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    out = run({"A:", "--blank-label"}, &status);
    EXPECT_NE(out.find("\nlabel: blanked\n"), std::string::npos) << out;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(image.ReadSector(0).bytes, Floppy().PutText(43, std::string(11, ' ')).bytes);

    Volume('B', "FAT", Floppy(), 4);  // the FAT runs past the image
    out = run({"B:", "--free"}, &status);
    EXPECT_NE(out.find("\nfree clusters: cannot be read\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("free bytes"), std::string::npos) << out;
    EXPECT_EQ(status, 1);
}

TEST_F(DiskVolumeTest, SpaceQuestionsFollowTheSystemAndLogNothing) {
    Machine::DriveSetup c;
    c.letter = 'C';
    c.freeBytes = 5ull << 30;  // more than 32 bits hold
    c.totalBytes = 9ull << 30;
    c.sectorsPerCluster = 8;
    const std::string root = Machine::AddDrive(c);
    ULONGLONG total = 1, free = 1;

    EXPECT_EQ(DiskVolume::GetFreeBytes('C'), 5ull << 30);
    EXPECT_TRUE(DiskVolume::GetDiskSpace('C', &total, &free));
    EXPECT_EQ(total, 9ull << 30);
    EXPECT_EQ(free, 5ull << 30);

    // The first Windows 95 release: both figures are 32-bit products.
    Machine::SetWindows9x(0, 950);
    EXPECT_EQ(DiskVolume::GetFreeBytes('C'), (5ull << 30) & 0xFFFFFFFF);
    EXPECT_TRUE(DiskVolume::GetDiskSpace('C', &total, &free));
    EXPECT_EQ(total, (9ull << 30) & 0xFFFFFFFF);
    EXPECT_EQ(free, (5ull << 30) & 0xFFFFFFFF);

    // Failures: all bits set, or false with both figures 0; nothing logged.
    for (bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "extended call" : "cluster call");
        if (nt)
            Machine::SetWindowsNT();
        total = free = 1;
        EXPECT_EQ(DiskVolume::GetFreeBytes('Q'), 0xFFFFFFFFFFFFFFFFull);
        EXPECT_FALSE(DiskVolume::GetDiskSpace('Q', &total, &free));
        EXPECT_EQ(total, 0u);
        EXPECT_EQ(free, 0u);
    }
    Machine::SetWindowsNT();
    Machine::RemoveExport("Kernel32.dll", "GetDiskFreeSpaceExA");
    EXPECT_EQ(DiskVolume::GetFreeBytes('C'), 0xFFFFFFFFFFFFFFFFull);
    EXPECT_FALSE(std::filesystem::exists(root + "/NMActionLog.txt"));
    EXPECT_TRUE(Machine::MessageBoxes().empty());

    Machine::FailNext("LoadLibraryA", ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(DiskVolume::GetFreeBytes('C'), 0xFFFFFFFFFFFFFFFFull);
    ASSERT_EQ(Machine::MessageBoxes().size(), 1u);
    EXPECT_EQ(Machine::MessageBoxes()[0].text, "Failed to load DLL Kernel32.dll.");
    EXPECT_EQ(Machine::MessageBoxes()[0].caption, "DLL Error");
}

}  // namespace
