// The scan's roots on Linux: the mounted local filesystems on non-removable
// block devices, one root per filesystem, read from /proc/self/mountinfo (or
// /proc/self/mounts where that is missing) and /sys only, so a process in its
// own mount namespace sees just its own volumes.
#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <set>
#include <sstream>

#include "platform/fixed_roots.h"
#include "platform/posix/fault_errno.h"
#include "platform/posix/posix_handles.h"
#include "zq_mount_table.h"

namespace platform {

namespace {

// Decodes the octal escapes (\040 space, \011 tab, \012 line feed, \134
// backslash) of a mount-table field.
std::string DecodeField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
            field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool ReadSmallFile(const std::string& path, std::string* text) {
    const posix::ScopedStream file(fopen(path.c_str(), "re"));
    if (!file.IsValid()) {
        return false;
    }
    char buffer[4096];
    size_t got = 0;
    text->clear();
    while ((got = fread(buffer, 1, sizeof buffer, file.Get())) > 0) {
        text->append(buffer, got);
    }
    return ferror(file.Get()) == 0;
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

}  // namespace

std::vector<std::string> RootsFromMountTable(
    const std::string& table, const std::function<bool(const std::string& device)>& non_removable) {
    std::vector<std::string> roots;
    std::set<std::string> devices_seen;
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device_field;
        std::string mount_field;
        if (!(fields >> device_field >> mount_field)) {
            continue;
        }
        const std::string device = DecodeField(device_field);
        if (device.compare(0, 5, "/dev/") != 0 || devices_seen.count(device) != 0 ||
            !non_removable(device)) {
            continue;
        }
        devices_seen.insert(device);
        std::string root = DecodeField(mount_field);
        while (!root.empty() && root.back() == '/') {
            root.pop_back();
        }
        roots.push_back(root);
    }
    return roots;
}

namespace {

struct MountInfoEntry {
    std::string device_number;  // "major:minor"
    std::string root;           // the mounted folder within the filesystem
    std::string mount_point;
    std::string type;
    std::string source;
    std::string options;     // the filesystem's own ("super") options
    std::string filesystem;  // what tells filesystems apart (see RootsFromMountInfo)
    std::string whole_tree;  // the root that mounts the filesystem's whole tree
};

// The value of `name`=... in the comma-separated `options`, or "" (with
// `*found` false) when absent.
std::string OptionValue(const std::string& options, const std::string& name, bool* found) {
    std::istringstream items(options);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (item.compare(0, name.size() + 1, name + "=") == 0) {
            *found = true;
            return item.substr(name.size() + 1);
        }
    }
    *found = false;
    return std::string();
}

// One line of mountinfo: "ID PARENT MAJ:MIN ROOT MOUNTPOINT OPTIONS
// [OPTIONAL...] - TYPE SOURCE SUPEROPTIONS". False for a malformed line.
bool ParseMountInfoLine(const std::string& line, MountInfoEntry* entry) {
    std::istringstream fields(line);
    std::string id;
    std::string parent;
    std::string mount_options;
    if (!(fields >> id >> parent >> entry->device_number >> entry->root >> entry->mount_point >>
          mount_options)) {
        return false;
    }
    std::string field;
    while (fields >> field && field != "-") {
    }
    if (field != "-" || !(fields >> entry->type >> entry->source)) {
        return false;
    }
    fields >> entry->options;
    entry->root = DecodeField(entry->root);
    entry->mount_point = DecodeField(entry->mount_point);
    entry->source = DecodeField(entry->source);
    entry->filesystem = entry->device_number;
    entry->whole_tree = "/";
    if (entry->type == "btrfs") {
        bool has_id = false;
        bool has_path = false;
        const std::string subvolume_id = OptionValue(entry->options, "subvolid", &has_id);
        const std::string subvolume = OptionValue(entry->options, "subvol", &has_path);
        // Without the options (old kernels) each mounted folder counts as
        // its own subvolume.
        entry->filesystem += "/" + (has_id ? subvolume_id : entry->root);
        entry->whole_tree = has_path ? subvolume : entry->root;
    }
    return true;
}

// Whether the folder `inner` of a filesystem lies within its folder `outer`
// (or is it).
bool Within(const std::string& inner, const std::string& outer) {
    if (outer == "/" || inner == outer) {
        return true;
    }
    return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
           inner[outer.size()] == '/';
}

}  // namespace

std::vector<std::string> RootsFromMountInfo(
    const std::string& table, const std::function<bool(const std::string& device)>& non_removable,
    const std::function<std::string(const std::string& major_minor)>& resolve_device) {
    std::vector<MountInfoEntry> entries;
    std::map<std::string, size_t> chosen;  // filesystem -> index into `entries`
    std::map<std::string, bool> accepted;  // device -> non_removable, asked once each
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        MountInfoEntry entry;
        if (!ParseMountInfoLine(line, &entry)) {
            continue;
        }
        std::string device = entry.source;
        if (device == "/dev/root") {
            device = resolve_device(entry.device_number);
        }
        if (device.compare(0, 5, "/dev/") != 0) {
            continue;
        }
        auto known = accepted.find(device);
        if (known == accepted.end()) {
            known = accepted.emplace(device, non_removable(device)).first;
        }
        if (!known->second) {
            continue;
        }
        auto best = chosen.find(entry.filesystem);
        if (best == chosen.end()) {
            chosen.emplace(entry.filesystem, entries.size());
        } else {
            const MountInfoEntry& held = entries[best->second];
            const bool held_whole = held.root == held.whole_tree;
            const bool whole = entry.root == entry.whole_tree;
            if (!held_whole && (whole || entry.root.size() < held.root.size())) {
                best->second = entries.size();
            }
        }
        entries.push_back(entry);
    }
    std::vector<bool> keep(entries.size(), false);
    for (const auto& pick : chosen) {
        keep[pick.second] = true;
    }
    // A subvolume that lies within another chosen one of the same device is
    // entered by that one's walk.
    for (size_t i = 0; i < entries.size(); ++i) {
        for (size_t j = 0; j < entries.size() && keep[i]; ++j) {
            if (i != j && keep[j] && entries[i].device_number == entries[j].device_number &&
                entries[i].root != entries[j].root && Within(entries[i].root, entries[j].root)) {
                keep[i] = false;
            }
        }
    }
    std::vector<std::string> roots;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (keep[i]) {
            std::string root = entries[i].mount_point;
            while (!root.empty() && root.back() == '/') {
                root.pop_back();
            }
            roots.push_back(root);
        }
    }
    return roots;
}

std::string BlockDeviceByNumber(const std::string& major_minor) {
    if (major_minor.find('/') != std::string::npos) {
        return std::string();
    }
    char target[4096];
    const std::string link = "/sys/dev/block/" + major_minor;
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return std::string();
    }
    target[length] = '\0';
    const char* name = strrchr(target, '/');
    return std::string("/dev/") + (name != nullptr ? name + 1 : target);
}

// The /sys folder of the device mapper device named `name` (/dev/mapper/<name>),
// or "" when there is none.
std::string MappedDeviceFolder(const std::string& name) {
    const posix::ScopedDir block(opendir("/sys/class/block"));
    if (!block.IsValid()) {
        return std::string();
    }
    std::string found;
    while (struct dirent* entry = readdir(block.Get())) {
        const std::string folder = std::string("/sys/class/block/") + entry->d_name;
        std::string mapped_name;
        if (strncmp(entry->d_name, "dm-", 3) == 0 &&
            ReadSmallFile(folder + "/dm/name", &mapped_name) && mapped_name == name + "\n") {
            found = folder;
            break;
        }
    }
    return found;
}

bool IsNonRemovableBlockDevice(const std::string& device) {
    const std::string name = device.substr(device.rfind('/') + 1);
    std::string sys = "/sys/class/block/" + name;
    if (!Exists(sys)) {
        sys = MappedDeviceFolder(name);
        if (sys.empty()) {
            return false;
        }
    }
    const std::string removable =
        Exists(sys + "/partition") ? sys + "/../removable" : sys + "/removable";
    std::string text;
    return ReadSmallFile(removable, &text) && !text.empty() && text[0] == '0';
}

StepResult<RootListStep> ListFixedRoots(std::vector<PathString>* roots) {
    using Result = StepResult<RootListStep>;
    std::string table;
    if (InjectedFailure(fault::Op::DriveStrings)) {
        return Result::Failed(RootListStep::SizeQuery, static_cast<OsError>(errno));
    }
    if (ReadSmallFile("/proc/self/mountinfo", &table)) {
        for (std::string& root :
             RootsFromMountInfo(table, IsNonRemovableBlockDevice, BlockDeviceByNumber)) {
            roots->push_back(std::move(root));
        }
        return Result();
    }
    if (!ReadSmallFile("/proc/self/mounts", &table)) {
        return Result::Failed(RootListStep::SizeQuery, static_cast<OsError>(errno));
    }
    for (std::string& root : RootsFromMountTable(table, IsNonRemovableBlockDevice)) {
        roots->push_back(std::move(root));
    }
    return Result();
}

std::string NoRootsReason(const StepResult<RootListStep>& listed) {
    if (!listed.Succeeded()) {
        // Both mount tables failed; the code is that of the last one.
        return "/proc/self/mountinfo could not be read (error " + std::to_string(listed.code) + ")";
    }
    // The mount table was read: without /sys no device can be told a
    // non-removable disk (a chroot without sysfs mounted).
    const posix::ScopedDir block(opendir("/sys/class/block"));
    const int code = errno;
    if (!block.IsValid()) {
        return "/sys could not be read (error " + std::to_string(code) +
               "), so no disk could be told fixed";
    }
    return "no local filesystem on a non-removable disk is mounted";
}

}  // namespace platform
