// Reading the kernel's mount table (/proc/self/mounts) for the scan's roots.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// The roots named by the mount-table text `table`: for each line, in order,
// whose device is a path under "/dev/" that `non_removable` accepts, the
// mount point (octal escapes decoded) without its trailing "/" ("/" becomes
// ""). A device mounted more than once gives only its first mount.
std::vector<std::string> RootsFromMountTable(
    const std::string& table, const std::function<bool(const std::string& device)>& non_removable);

// Whether the block device at `device` ("/dev/<name>") is a disk that is not
// removable, from /sys: /sys/class/block/<name>/removable is "0" (for a
// partition, its disk's); a /dev/mapper/<name> device is found by its
// dm/name in /sys. Loop devices count as non-removable. Reads /sys only.
bool IsNonRemovableBlockDevice(const std::string& device);

}  // namespace platform
