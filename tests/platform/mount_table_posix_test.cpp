// The POSIX stand-in for the fixed drives: local filesystems on
// non-removable block devices, from the kernel's mount table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zq_mount_table.h"

namespace {

TEST(MountTableTest, NonRemovableDevicesOnceEachInTableOrder) {
    const std::string table =
        "/dev/vda2 / ext4 rw,relatime 0 0\n"
        "proc /proc proc rw 0 0\n"
        "tmpfs /tmp tmpfs rw 0 0\n"
        "/dev/sdb1 /media/stick vfat rw 0 0\n"
        "/dev/vda2 /srv/bound ext4 rw 0 0\n"
        "/dev/loop3 /mnt/test\\040volume/ ext4 rw 0 0\n"
        "server:/export /net nfs rw 0 0\n"
        "/dev/vda3 /home ext4 rw 0 0\n"
        "overlay /var/lib/x overlay rw 0 0\n";
    std::vector<std::string> asked;
    const std::vector<std::string> roots =
        platform::RootsFromMountTable(table, [&](const std::string& device) {
            asked.push_back(device);
            return device != "/dev/sdb1";
        });
    EXPECT_EQ((std::vector<std::string>{"", "/mnt/test volume", "/home"}), roots);
    EXPECT_EQ((std::vector<std::string>{"/dev/vda2", "/dev/sdb1", "/dev/loop3", "/dev/vda3"}),
              asked);
}

// One root per mounted filesystem, from mountinfo. The lines are those of a
// machine with the root on vda2, a bind of one of its folders, btrfs
// subvolumes of vdb1, a removable stick and virtual filesystems.
TEST(MountInfoTest, EveryFixedFilesystemOnceFromItsWholeTree) {
    struct Case {
        const char* name;
        std::string table;
        std::vector<std::string> roots;
    };
    const std::string proc = "21 27 0:20 / /proc rw - proc proc rw\n";
    const std::string root = "27 1 254:2 / / rw - ext4 /dev/vda2 rw\n";
    const Case cases[] = {
        {"virtual and removable filesystems are left out",
         proc + root + "30 27 0:23 / /tmp rw - tmpfs tmpfs rw\n" +
             "31 27 8:17 / /media/stick rw - vfat /dev/sdb1 rw\n" +
             "32 27 0:40 / /net rw - nfs server:/export rw\n",
         {""}},
        {"a bind of a folder of a scanned filesystem adds nothing",
         root + "40 27 254:2 /srv/data /mnt/bound rw - ext4 /dev/vda2 rw\n",
         {""}},
        {"first entry a bind of a sub-folder: the whole tree's mount is the root",
         "40 1 254:3 /srv/data /mnt/bound rw - ext4 /dev/vda3 rw\n"
         "41 1 254:3 / /mnt/whole rw - ext4 /dev/vda3 rw\n",
         {"/mnt/whole"}},
        {"only parts mounted: the shortest, the first of equal ones",
         "40 1 254:3 /a/b/c /mnt/deep rw - ext4 /dev/vda3 rw\n"
         "41 1 254:3 /a/x /mnt/one rw - ext4 /dev/vda3 rw\n"
         "42 1 254:3 /a/y /mnt/two rw - ext4 /dev/vda3 rw\n",
         {"/mnt/one"}},
        {"/dev/root is the device its number names",
         "27 1 254:2 / / rw - ext4 /dev/root rw\n",
         {""}},
        {"/dev/root whose device is not known", "27 1 254:9 / / rw - ext4 /dev/root rw\n", {}},
        {"btrfs subvolumes mounted from one device are roots of their own",
         "27 1 0:31 /@ / rw - btrfs /dev/vdb1 rw,subvolid=256,subvol=/@\n"
         "28 27 0:31 /@home /home rw - btrfs /dev/vdb1 rw,subvolid=257,subvol=/@home\n"
         "29 27 0:31 /@home/user/x /mnt/x rw - btrfs /dev/vdb1 rw,subvolid=257,subvol=/@home\n",
         {"", "/home"}},
        {"a subvolume within another mounted one is walked from it",
         "27 1 0:31 / /mnt/top rw - btrfs /dev/vdb1 rw,subvolid=5,subvol=/\n"
         "28 1 0:31 /@home /home rw - btrfs /dev/vdb1 rw,subvolid=257,subvol=/@home\n"
         "29 1 0:32 /@home /other rw - btrfs /dev/vdc1 rw,subvolid=257,subvol=/@home\n",
         {"/mnt/top", "/other"}},
        {"a folder of a subvolume mounted alone is that subvolume's root",
         "27 1 0:31 /@data/in /mnt/in rw - btrfs /dev/vdb1 rw,subvolid=300,subvol=/@data\n",
         {"/mnt/in"}},
        {"escaped mount point, trailing slash",
         "27 1 7:3 / /mnt/test\\040volume/ rw shared:5 master:1 - ext4 /dev/loop3 rw\n",
         {"/mnt/test volume"}},
        {"malformed lines are passed over",
         "garbage\n27 1 254:2 / / rw no-separator ext4 /dev/vda2\n" + root,
         {""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> asked;
        const std::vector<std::string> roots = platform::RootsFromMountInfo(
            c.table,
            [&](const std::string& device) {
                asked.push_back(device);
                return device != "/dev/sdb1";
            },
            [](const std::string& number) {
                return number == "254:2" ? std::string("/dev/vda2") : std::string();
            });
        EXPECT_EQ(c.roots, roots);
    }
}

TEST(MountInfoTest, DeviceNumberWithoutABlockDeviceNamesNone) {
    for (const char* number : {"4095:1048575", "", "../../class/block/loop0", "1:3/.."}) {
        SCOPED_TRACE(number);
        EXPECT_EQ("", platform::BlockDeviceByNumber(number));
    }
}

TEST(MountTableTest, DeviceThatSysDoesNotKnowIsNotADisk) {
    EXPECT_FALSE(platform::IsNonRemovableBlockDevice("/dev/zq-no-such-device"));
}

}  // namespace
