// The logging switch of one process: a machine-wide object found by a name
// that holds the process id, which every local account may open and change.
// Set (signalled) means the process logs; another process resets it to
// suspend that logging and sets it again to resume it.
//
// Windows: the named event "Global\BFD88F2D-0990-4de4-AD0F-764F5894389A-<pid>"
// with a null DACL. POSIX: a one-byte shared-memory object
// "/BFD88F2D-0990-4de4-AD0F-764F5894389A-<pid>", mode 0666 whatever the
// umask; the byte is 1 when set.
#pragma once

#include <cstdint>

#include "platform/scoped_handle.h"
#include "platform/step_result.h"
#include "platform/types.h"

namespace platform {

class LogSwitch {
  public:
    LogSwitch() = default;
    // Releases the switch. On POSIX the object's name is removed too: the
    // object belongs to this process id and would otherwise stay in
    // /dev/shm after the process ended.
    ~LogSwitch();
    LogSwitch(const LogSwitch&) = delete;
    LogSwitch& operator=(const LogSwitch&) = delete;

    // Creates the switch of `process_id` set, or opens it when it exists
    // already, keeping its state. A handle held before is released after
    // the new one is open, so the object outlives the exchange with its
    // state. False on failure (a handle held before is released then too).
    bool CreateOrOpen(uint32_t process_id);
    // The state, tested without waiting; false when there is no switch.
    bool IsSet() const;
    // Releases the switch as the destructor does.
    void Remove();
    // Releases this handle only; the object and its name stay.
    void Close();
    bool IsOpen() const { return handle_.IsValid(); }

    // The handle's kind: the event's HANDLE on Windows, the mapping on
    // POSIX; the backend releases it.
    struct HandleTraits : NullableHandleTraits<void*> {
        static void Close(Value value);
    };

  private:
    ScopedHandle<HandleTraits> handle_;
};

enum class LogSwitchStep {
    None,
    Open,    // OpenEventW (POSIX: shm_open)
    Change,  // SetEvent or ResetEvent (POSIX: writing the byte)
};

// Sets (`on`) or resets the switch of another process, found by its id.
StepResult<LogSwitchStep> SetLogSwitch(uint32_t process_id, bool on);

}  // namespace platform
