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

TEST(MountTableTest, DeviceThatSysDoesNotKnowIsNotADisk) {
    EXPECT_FALSE(platform::IsNonRemovableBlockDevice("/dev/zq-no-such-device"));
}

}  // namespace
