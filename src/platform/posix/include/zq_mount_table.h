// Reading the kernel's mount tables (/proc/self/mountinfo, or else
// /proc/self/mounts) for the scan's roots.
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

// The roots named by the mount-information text `table`
// (/proc/self/mountinfo): one per mounted filesystem whose source is a path
// under "/dev/" that `non_removable` accepts, taken from the filesystem's
// mount of its whole tree (root "/") or else, when only parts of it are
// mounted, from the mount of the shortest root (the first of equal ones).
// A filesystem is known by its device number ("major:minor"), so a bind
// mount or a second mount of it adds nothing. Each btrfs subvolume is a
// filesystem of its own (its "subvolid=" option; its whole tree is the root
// its "subvol=" option names), except one that lies within another chosen
// subvolume of the same device: the walk of that one enters it. A source
// "/dev/root" is named by `resolve_device` from the device number ("" when
// it cannot be). Roots are mount points, octal escapes decoded, without
// their trailing "/" ("/" becomes ""), in table order.
std::vector<std::string> RootsFromMountInfo(
    const std::string& table, const std::function<bool(const std::string& device)>& non_removable,
    const std::function<std::string(const std::string& major_minor)>& resolve_device);

// "/dev/<name>" of the block device with the number `major_minor`, from
// /sys/dev/block; "" when there is none.
std::string BlockDeviceByNumber(const std::string& major_minor);

// Whether the block device at `device` ("/dev/<name>") is a disk that is not
// removable, from /sys: /sys/class/block/<name>/removable is "0" (for a
// partition, its disk's); a /dev/mapper/<name> device is found by its
// dm/name in /sys. Loop devices count as non-removable. Reads /sys only.
bool IsNonRemovableBlockDevice(const std::string& device);

}  // namespace platform
