// The logging switch on POSIX: a one-byte shared-memory object named after the process id.
#include "platform/log_switch.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/posix/posix_handles.h"
#include "platform/switch_ids.h"

namespace platform {

namespace {

struct SwitchMapping {
    std::string name;
    posix::ScopedFd fd;
    posix::ScopedMapping byte;  // the shared byte: 1 set, 0 reset

    unsigned char* State() const { return static_cast<unsigned char*>(byte.Get().address); }
};

constexpr char kNameStem[] = "BFD88F2D-0990-4de4-AD0F-764F5894389A-";
// Where the system keeps the shared-memory objects by name (glibc's
// shm_open names live here).
constexpr char kSharedMemoryFolder[] = "/dev/shm";

std::string SwitchName(uint32_t process_id) {
    char name[64] = {0};
    std::snprintf(name, sizeof(name), "/%s%u", kNameStem, process_id);
    return name;
}

// The process id a switch's file name holds; false for any other name.
bool ProcessIdOfName(const char* name, pid_t* process_id) {
    const size_t stem = sizeof(kNameStem) - 1;
    if (std::strncmp(name, kNameStem, stem) != 0 || name[stem] == 0) {
        return false;
    }
    unsigned long value = 0;
    for (const char* at = name + stem; *at != 0; ++at) {
        if (*at < '0' || *at > '9' || value > 0x7FFFFFFFul / 10) {
            return false;
        }
        value = value * 10 + static_cast<unsigned long>(*at - '0');
    }
    *process_id = static_cast<pid_t>(value);
    return value != 0;
}

// A killed run leaves its switch behind (its name is removed only at a
// normal end): the switches of processes that no longer exist are removed.
// A process id reused since by another program keeps its stale object
// until that program ends; nothing depends on it.
void RemoveStaleSwitches(uint32_t own_id) {
    const posix::ScopedDir folder(opendir(kSharedMemoryFolder));
    if (!folder.IsValid()) {
        return;
    }
    while (const dirent* entry = readdir(folder.Get())) {
        pid_t owner = 0;
        if (!ProcessIdOfName(entry->d_name, &owner) || static_cast<uint32_t>(owner) == own_id) {
            continue;
        }
        if (kill(owner, 0) != 0 && errno == ESRCH) {
            shm_unlink((std::string("/") + entry->d_name).c_str());
        }
    }
}

// Maps the object's one byte, growing an object still empty to one byte
// (it then reads as reset until its creator sets it). False on failure.
bool MapStateByte(int fd, posix::ScopedMapping* byte) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return false;
    }
    if (info.st_size < 1 && ftruncate(fd, 1) != 0) {
        return false;
    }
    posix::Mapping mapping;
    mapping.address = mmap(nullptr, 1, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    mapping.length = 1;
    byte->Reset(mapping);
    return byte->IsValid();
}

const SwitchMapping* MappingOf(void* handle) {
    return static_cast<const SwitchMapping*>(handle);
}

}  // namespace

void LogSwitch::HandleTraits::Close(void* handle) {
    delete static_cast<SwitchMapping*>(handle);
}

LogSwitch::~LogSwitch() {
    Remove();
}

void LogSwitch::Remove() {
    if (handle_.IsValid()) {
        shm_unlink(MappingOf(handle_.Get())->name.c_str());
    }
    Close();
}

bool LogSwitch::CreateOrOpen(uint32_t process_id) {
    std::unique_ptr<SwitchMapping> mapping(new SwitchMapping);
    mapping->name = SwitchName(process_id);
    bool created = true;
    // A switch of this id that this process did not make was left by a
    // killed run whose id the system has reused: it goes, and the new one
    // starts set.
    if (!SwitchMadeBefore(process_id)) {
        shm_unlink(mapping->name.c_str());
    }
    mapping->fd.Reset(shm_open(mapping->name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666));
    if (!mapping->fd.IsValid() && errno == EEXIST) {
        created = false;
        mapping->fd.Reset(shm_open(mapping->name.c_str(), O_RDWR, 0));
    }
    if (!mapping->fd.IsValid()) {
        Close();
        return false;
    }
    // Every local account may change it, whatever the umask took away.
    if (created) {
        fchmod(mapping->fd.Get(), 0666);
        RemoveStaleSwitches(process_id);
    }
    if (!MapStateByte(mapping->fd.Get(), &mapping->byte)) {
        Close();
        return false;
    }
    if (created) {
        __atomic_store_n(mapping->State(), 1, __ATOMIC_RELEASE);
    }
    handle_.Reset(mapping.release());
    return true;
}

bool LogSwitch::IsSet() const {
    return handle_.IsValid() &&
           __atomic_load_n(MappingOf(handle_.Get())->State(), __ATOMIC_ACQUIRE) != 0;
}

void LogSwitch::Close() {
    handle_.Reset();
}

StepResult<LogSwitchStep> SetLogSwitch(uint32_t process_id, bool on) {
    using Result = StepResult<LogSwitchStep>;
    const std::string name = SwitchName(process_id);
    const posix::ScopedFd fd(shm_open(name.c_str(), O_RDWR, 0));
    if (!fd.IsValid()) {
        return Result::Failed(LogSwitchStep::Open, static_cast<OsError>(errno));
    }
    // The object is a file of shared memory: one write of its byte changes
    // the state that the owner's mapping reads.
    const unsigned char state = on ? 1 : 0;
    if (pwrite(fd.Get(), &state, 1, 0) != 1) {
        return Result::Failed(LogSwitchStep::Change, static_cast<OsError>(errno));
    }
    return Result();
}

}  // namespace platform
