#include "platform/log_switch.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace platform {

namespace {

struct SwitchMapping {
    int fd = -1;
    unsigned char* state = nullptr;  // the shared byte: 1 set, 0 reset
    std::string name;
};

std::string SwitchName(uint32_t process_id) {
    char name[64] = {0};
    std::snprintf(name, sizeof(name), "/BFD88F2D-0990-4de4-AD0F-764F5894389A-%u", process_id);
    return name;
}

// Maps the object's one byte, growing an object still empty to one byte
// (it then reads as reset until its creator sets it). Null on failure.
unsigned char* MapStateByte(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return nullptr;
    }
    if (info.st_size < 1 && ftruncate(fd, 1) != 0) {
        return nullptr;
    }
    void* view = mmap(nullptr, 1, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return view == MAP_FAILED ? nullptr : static_cast<unsigned char*>(view);
}

void Release(SwitchMapping* mapping) {
    if (mapping->state != nullptr) {
        munmap(mapping->state, 1);
    }
    if (mapping->fd >= 0) {
        close(mapping->fd);
    }
    delete mapping;
}

}  // namespace

LogSwitch::~LogSwitch() {
    Remove();
}

void LogSwitch::Remove() {
    auto* mapping = static_cast<SwitchMapping*>(handle_);
    if (mapping != nullptr) {
        shm_unlink(mapping->name.c_str());
    }
    Close();
}

bool LogSwitch::CreateOrOpen(uint32_t process_id) {
    auto* mapping = new SwitchMapping;
    mapping->name = SwitchName(process_id);
    bool created = true;
    mapping->fd = shm_open(mapping->name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
    if (mapping->fd < 0 && errno == EEXIST) {
        created = false;
        mapping->fd = shm_open(mapping->name.c_str(), O_RDWR, 0);
    }
    if (mapping->fd < 0) {
        Release(mapping);
        Close();
        return false;
    }
    // Every local account may change it, whatever the umask took away.
    if (created) {
        fchmod(mapping->fd, 0666);
    }
    mapping->state = MapStateByte(mapping->fd);
    if (mapping->state == nullptr) {
        Release(mapping);
        Close();
        return false;
    }
    if (created) {
        __atomic_store_n(mapping->state, 1, __ATOMIC_RELEASE);
    }
    Close();
    handle_ = mapping;
    return true;
}

bool LogSwitch::IsSet() const {
    auto* mapping = static_cast<SwitchMapping*>(handle_);
    return mapping != nullptr && __atomic_load_n(mapping->state, __ATOMIC_ACQUIRE) != 0;
}

void LogSwitch::Close() {
    auto* mapping = static_cast<SwitchMapping*>(handle_);
    if (mapping != nullptr) {
        Release(mapping);
        handle_ = nullptr;
    }
}

bool SetLogSwitch(uint32_t process_id, bool on, OsError* error) {
    const std::string name = SwitchName(process_id);
    const int fd = shm_open(name.c_str(), O_RDWR, 0);
    if (fd < 0) {
        *error = static_cast<OsError>(errno);
        return false;
    }
    // The object is a file of shared memory: one write of its byte changes
    // the state that the owner's mapping reads.
    const unsigned char state = on ? 1 : 0;
    if (pwrite(fd, &state, 1, 0) != 1) {
        *error = static_cast<OsError>(errno);
        close(fd);
        return false;
    }
    close(fd);
    return true;
}

}  // namespace platform
