// The scan's roots on Linux: the mounted local filesystems on non-removable
// block devices, read from /proc/self/mounts and /sys only, so a process in
// its own mount namespace sees just its own volumes.
#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <set>
#include <sstream>

#include "platform/fixed_roots.h"
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
    FILE* file = fopen(path.c_str(), "re");
    if (file == nullptr) {
        return false;
    }
    char buffer[4096];
    size_t got = 0;
    text->clear();
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
        text->append(buffer, got);
    }
    const bool ok = ferror(file) == 0;
    fclose(file);
    return ok;
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

// The /sys folder of the device mapper device named `name` (/dev/mapper/<name>),
// or "" when there is none.
std::string MappedDeviceFolder(const std::string& name) {
    DIR* block = opendir("/sys/class/block");
    if (block == nullptr) {
        return std::string();
    }
    std::string found;
    while (struct dirent* entry = readdir(block)) {
        const std::string folder = std::string("/sys/class/block/") + entry->d_name;
        std::string mapped_name;
        if (strncmp(entry->d_name, "dm-", 3) == 0 &&
            ReadSmallFile(folder + "/dm/name", &mapped_name) && mapped_name == name + "\n") {
            found = folder;
            break;
        }
    }
    closedir(block);
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

bool ListFixedRoots(std::vector<PathString>* roots, RootListFailure* failure) {
    std::string table;
    if (!ReadSmallFile("/proc/self/mounts", &table)) {
        failure->step = RootListStep::SizeQuery;
        failure->error = static_cast<OsError>(errno);
        return false;
    }
    for (std::string& root : RootsFromMountTable(table, IsNonRemovableBlockDevice)) {
        roots->push_back(std::move(root));
    }
    return true;
}

}  // namespace platform
