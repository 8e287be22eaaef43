// File attributes are kept where the drive keeps them: NTFS's own on a Windows drive
// mounted with ntfs-3g, Wine's extended attribute in a prefix, the side file elsewhere.
#include "app/deskforge/Machine.h"
#include "host/machine/Machine.h"
#include "host/machine/MachineFiles.h"
#include "host/registry/Types.h"
#include "tests/PageTestSupport.h"
#include "tests/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace ravelin;
using ravelin::machine::MachineFiles;
namespace fs = std::filesystem;

namespace {

std::string xattr(const std::string& path, const char* name) {
    char buf[64];
    const ssize_t n = ::getxattr(path.c_str(), name, buf, sizeof buf);
    return n < 0 ? std::string("<none>") : std::string(buf, static_cast<std::size_t>(n));
}

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// An NTFS file system made with mkntfs on a loop file and mounted with ntfs-3g, unmounted
// again at the end; `skip` says why there is none.
class NtfsMount {
  public:
    NtfsMount() {
        if (!run("command -v mkntfs") || !run("command -v ntfs-3g")) {
            skip = "mkntfs or ntfs-3g is not installed (Debian package ntfs-3g)";
            missingProgram = true;
            return;
        }
        if (::geteuid() != 0) {
            skip = "mounting needs root";
            return;
        }
        if (!fs::exists("/dev/fuse")) {
            skip = "no /dev/fuse on this machine";
            return;
        }
        const std::string image = dir_.path() + "/ntfs.img";
        mountPoint = dir_.path() + "/C";
        fs::create_directories(mountPoint);
        if (!run("truncate -s 16M " + image) || !run("mkntfs -F -Q -q " + image)) {
            skip = "mkntfs failed";
            return;
        }
        if (!run("ntfs-3g " + image + " " + mountPoint)) {
            skip = "ntfs-3g could not mount the image (FUSE not usable here?)";
            return;
        }
        mounted_ = true;
    }
    ~NtfsMount() {
        if (mounted_) {
            ::sync();
            if (!run("fusermount -u " + mountPoint)) ::umount2(mountPoint.c_str(), MNT_DETACH);
        }
    }
    NtfsMount(const NtfsMount&) = delete;
    NtfsMount& operator=(const NtfsMount&) = delete;
    std::string skip;
    bool missingProgram = false; // rather than a machine that cannot mount (no root, no FUSE)
    std::string mountPoint;

  private:
    test::TempDir dir_;
    bool mounted_ = false;
};

std::uint32_t ntfsAttrib(const std::string& path) {
    unsigned char b[4] = {};
    if (::getxattr(path.c_str(), "system.ntfs_attrib_be", b, 4) != 4) return 0xFFFFFFFF;
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

} // namespace

TEST(AttributeStore, AWinePrefixKeepsThemInDosAttribAsWineDoes) {
    test::TempDir dir;
    test::createSampleMachine(dir.path(), "winxp");
    MachineFiles files(dir.path(), true);
    const std::string folder = dir.path() + "/drive_c/Ordner";
    fs::create_directories(folder);
    ASSERT_EQ(::setxattr(folder.c_str(), "user.DOSATTRIB", "0x21", 4, 0), 0);
    EXPECT_FALSE(files.isHidden(folder));
    files.setHidden(folder, true);
    EXPECT_EQ(xattr(folder, "user.DOSATTRIB"), "0x23") << "other attributes are kept";
    EXPECT_EQ(files.attributes(folder), 0x23u);
    files.setHidden(folder, false);
    EXPECT_EQ(xattr(folder, "user.DOSATTRIB"), "0x21");
    EXPECT_FALSE(fs::exists(dir.path() + "/.deskforge/attributes"));
    // Wine's own spelling with a NUL after the number.
    ASSERT_EQ(::setxattr(folder.c_str(), "user.DOSATTRIB", "0x6\0", 4, 0), 0);
    EXPECT_EQ(files.attributes(folder), 0x6u);
    EXPECT_TRUE(files.isHidden(dir.path() + "/drive_c/.versteckt"));
}

TEST(AttributeStore, ACopyOfADriveKeepsThemInTheSideFile) {
    test::TempDir dir;
    MachineFiles files(dir.path(), false);
    const std::string folder = dir.path() + "/Ordner";
    fs::create_directories(folder);
    files.setHidden(folder, true);
    EXPECT_TRUE(files.isHidden(folder));
    EXPECT_EQ(xattr(folder, "user.DOSATTRIB"), "<none>")
        << "an extended attribute nobody reads is not where Windows looks either";
    std::ifstream side(dir.path() + "/.deskforge/attributes");
    std::string line;
    std::getline(side, line);
    EXPECT_EQ(line, "0x2\tOrdner");
}

TEST(AttributeStore, AnNtfsDriveMountedWithNtfs3gKeepsThemInNtfs) {
    NtfsMount ntfs;
    if (!ntfs.skip.empty()) {
        std::printf("skipped: %s\n", ntfs.skip.c_str());
        if (ntfs.missingProgram) RAVELIN_SKIP_WITHOUT_TOOL(ntfs.skip);
        GTEST_SKIP() << ntfs.skip;
    }
    const std::string root = ntfs.mountPoint;
    fs::create_directories(root + "/Users/anna/Favorites/Privat");
    fs::create_directories(root + "/Users/anna/Favorites/Links");
    const std::string privat = root + "/Users/anna/Favorites/Privat";
    const std::string links = root + "/Users/anna/Favorites/Links";
    for (bool wine : {false, true}) {
        SCOPED_TRACE(wine ? "as a prefix" : "as a drive");
        MachineFiles files(root, wine);
        const std::uint32_t before = ntfsAttrib(privat);
        ASSERT_NE(before, 0xFFFFFFFFu);
        EXPECT_FALSE(files.isHidden(privat));
        files.setHidden(privat, true);
        EXPECT_EQ(ntfsAttrib(privat), before | 0x2u) << "what Windows reads";
        EXPECT_EQ(xattr(privat, "user.DOSATTRIB"), "<none>");
        EXPECT_TRUE(files.isHidden(privat));
        files.setHidden(privat, false);
        EXPECT_EQ(ntfsAttrib(privat), before);
    }
    // A folder Windows hid shows as hidden.
    const std::uint32_t a = ntfsAttrib(links) | 0x2u;
    const unsigned char be[4] = {static_cast<unsigned char>(a >> 24),
                                 static_cast<unsigned char>(a >> 16),
                                 static_cast<unsigned char>(a >> 8), static_cast<unsigned char>(a)};
    ASSERT_EQ(::setxattr(links.c_str(), "system.ntfs_attrib_be", be, 4, 0), 0);
    EXPECT_TRUE(MachineFiles(root, false).isHidden(links));
    EXPECT_FALSE(fs::exists(root + "/.deskforge/attributes"));
}
