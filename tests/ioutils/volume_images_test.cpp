// DiskVolume on volumes made by the file systems' own tools (mkfs.fat and
// mtools, mkntfs and ntfscp; tests/images/make-volumes), judged by
// independent readers: minfo for the geometry, fsck.fat and ntfscluster for
// the free clusters, fsck.fat again after the label was blanked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "hostwin/machine.h"
#include "ioutils/disk_volume.h"
#include "platform/win32.h"
#include "support/volume_image.h"

namespace {

using hostwin::Machine;

// One line of expected.txt: "IMAGE LETTER FSNAME TYPE key=value...".
struct MadeVolume {
    std::string image;
    char letter = 0;
    std::string fileSystem;
    int type = 0;
    std::map<std::string, std::string> figures;

    ULONGLONG Figure(const std::string& key) const {
        auto it = figures.find(key);
        return it == figures.end() || it->second.empty() ? 0 : std::stoull(it->second);
    }
};

class VolumeImagesTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = (std::filesystem::temp_directory_path() / ("nm-volumes-" + std::to_string(::getpid()))).string();
        int status = 0;
        const std::string output = nmtest::RunCommand(std::string(NM_MAKE_VOLUMES) + " " + folder_ + " 2>&1", &status);
        ASSERT_EQ(status, 0) << output;
        std::ifstream in(folder_ + "/expected.txt");
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            MadeVolume v;
            fields >> v.image >> v.letter >> v.fileSystem >> v.type;
            for (std::string pair; fields >> pair;)
                v.figures[pair.substr(0, pair.find('='))] = pair.substr(pair.find('=') + 1);
            volumes_.push_back(v);
        }
        ASSERT_EQ(volumes_.size(), 5u);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        volumes_.clear();
    }

    void SetUp() override {
        Machine::Reset();
        for (const MadeVolume& v : volumes_) {
            nmtest::AddImageDrive(v.letter, v.fileSystem, Path(v.image));
            if (v.type == 1) {
                ASSERT_TRUE(Machine::SetVolumeBitmap(v.letter, Path("ntfs.bitmap"), v.Figure("clusters")));
            }
        }
    }
    void TearDown() override { Machine::Reset(); }

    static std::string Path(const std::string& name) { return folder_ + "/" + name; }
    static std::vector<char> FileBytes(const std::string& path, ULONGLONG offset, size_t size) {
        std::vector<char> bytes(size);
        std::ifstream in(path, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(bytes.data(), static_cast<std::streamsize>(size));
        return bytes;
    }

    static std::string folder_;
    static std::vector<MadeVolume> volumes_;
};
std::string VolumeImagesTest::folder_;
std::vector<MadeVolume> VolumeImagesTest::volumes_;

TEST_F(VolumeImagesTest, TypeGeometryAndFreeClustersAgreeWithTheFileSystemsTools) {
    for (const MadeVolume& v : volumes_) {
        SCOPED_TRACE(v.image);
        DiskVolume volume;
        ASSERT_EQ(volume.Open(v.letter), 1);
        EXPECT_EQ(volume.GetFileSystemType(), v.type);
        EXPECT_EQ(volume.GetBytesPerSector(), v.Figure("bps"));
        EXPECT_EQ(volume.GetSectorsPerCluster(), v.Figure("spc"));
        EXPECT_EQ(volume.GetFreeClusters(), v.Figure("free"));
        if (v.type == 1) {
            EXPECT_EQ(volume.GetNtfsClusterCount(), v.Figure("clusters"));
            continue;
        }
        EXPECT_EQ(volume.GetReservedSectors(), v.Figure("reserved"));
        EXPECT_EQ(volume.GetFatSize(), v.Figure("fatsize"));
        EXPECT_EQ(volume.GetRootEntryCount(), v.Figure("rootentries"));
        EXPECT_EQ(volume.GetMediaDescriptor(), v.Figure("media"));
        EXPECT_EQ(volume.GetClusterCount(), v.Figure("clusters"));
        const ULONGLONG tables = v.Figure("reserved") + v.Figure("fats") * v.Figure("fatsize");
        if (v.type == 32) {
            EXPECT_EQ(volume.GetRootCluster(), v.Figure("rootcluster"));
            EXPECT_EQ(volume.GetFirstRootDirSector(), 0xFFFFFFFFu);
            EXPECT_EQ(volume.GetDataStartSector(), tables);
            EXPECT_EQ(v.Figure("small"), 0u);
        } else {
            EXPECT_EQ(volume.GetRootCluster(), 0xFFFFFFFFu);
            EXPECT_EQ(volume.GetFirstRootDirSector(), tables);
            EXPECT_EQ(volume.GetDataStartSector(), tables + v.Figure("rootentries") * 32 / 512);
        }
    }
    EXPECT_TRUE(Machine::MessageBoxes().empty());
}

TEST_F(VolumeImagesTest, SectorsAndClustersReadBackAsTheImageHoldsThem) {
    for (const MadeVolume& v : volumes_) {
        SCOPED_TRACE(v.image);
        DiskVolume volume;
        ASSERT_EQ(volume.Open(v.letter), 1);
        std::vector<char> sectors(64 * 512);
        ASSERT_EQ(volume.ReadSectors(sectors.data(), 1000, 64), 1u);
        EXPECT_EQ(sectors, FileBytes(Path(v.image), 1000 * 512, sectors.size()));
        std::vector<char> cluster(volume.GetClusterSize());
        ASSERT_EQ(volume.ReadCluster(cluster.data(), 3), 1u);
        const ULONGLONG first = v.type == 1 ? 3 * v.Figure("spc") : volume.GetDataStartSector() + v.Figure("spc");
        EXPECT_EQ(cluster, FileBytes(Path(v.image), first * 512, cluster.size()));
    }
}

// fsck.fat regards a label of blanks as no label and says so, and on FAT32
// notes that the backup boot sector still holds the old one; anything else
// it reports is damage.
bool HarmlessLabelNote(const std::string& line) {
    static const char* const kNotes[] = {
        "fsck.fat ", "There are differences between boot sector and its backup.", "This is mostly harmless.",
        "  Not automatically fixing this.", "Label '' stored in boot sector is not valid.",
        "  Auto-removing label from boot sector.", "Leaving filesystem unchanged.",
    };
    if (line.empty())
        return true;
    for (const char* note : kNotes)
        if (line.rfind(note, 0) == 0)
            return true;
    // "  71:20/4e, 72:20/4f": differences only inside the FAT32 label, bytes 71-81.
    if (line.rfind("  ", 0) != 0)
        return false;
    std::istringstream in(line);
    for (std::string item; in >> item;) {
        const int offset = std::atoi(item.c_str());
        if (offset < 71 || offset > 81)
            return false;
    }
    return true;
}

TEST_F(VolumeImagesTest, BlankedLabelsLeaveTheVolumesSound) {
    for (const MadeVolume& v : volumes_) {
        if (v.type == 1)
            continue;
        SCOPED_TRACE(v.image);
        const std::string copy = Path("blank-" + v.image);
        std::filesystem::copy_file(Path(v.image), copy, std::filesystem::copy_options::overwrite_existing);
        const std::string before = nmtest::RunCommand("fsck.fat -n " + copy + " 2>&1 | tail -n 1");
        nmtest::AddImageDrive(v.letter, v.fileSystem, copy);
        DiskVolume volume;
        ASSERT_EQ(volume.Open(v.letter), 1);
        volume.BlankVolumeLabel();

        const size_t labelAt = v.type == 32 ? 71 : 43;
        EXPECT_EQ(FileBytes(copy, labelAt, 11), std::vector<char>(11, ' '));
        const std::vector<char> original = FileBytes(Path(v.image), 0, 512);
        std::vector<char> blanked = FileBytes(copy, 0, 512);
        std::copy(original.begin() + labelAt, original.begin() + labelAt + 11, blanked.begin() + labelAt);
        EXPECT_EQ(blanked, original);  // nothing else in the boot sector changed

        std::istringstream report(nmtest::RunCommand("fsck.fat -n " + copy + " 2>&1"));
        std::string line, last;
        while (std::getline(report, line)) {
            if (!last.empty()) {
                EXPECT_TRUE(HarmlessLabelNote(last)) << last;
            }
            last = line;
        }
        EXPECT_EQ(last + "\n", before);  // the same files and clusters in use
        std::filesystem::remove(copy);
    }
}

}  // namespace
