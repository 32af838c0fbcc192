// An unnamed manual-reset event: set, it stays set until reset; a wait
// returns at once while it is set. The log's worker sleeps on one.
#pragma once

#include <cstdint>

#include "platform/scoped_handle.h"

namespace platform {

class Event {
  public:
    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Creates the event, not set (closing one held before). False on failure.
    bool CreateManualReset();
    void Set();
    void Reset();
    // Waits without time-out; true when the wait ended because the event is
    // set, false when the wait failed.
    bool Wait();
    // Waits at most `milliseconds`; true when the event is set, false when
    // the time ran out or the wait failed.
    bool WaitFor(uint32_t milliseconds);
    // Whether the event is set now, without waiting and without a system
    // call (a set that is on its way may be seen a moment later).
    bool IsSetNow() const;
    void Close() { handle_.Reset(); }
    bool IsOpen() const { return handle_.IsValid(); }

    // The handle's kind: the backend's event state, which it releases.
    struct HandleTraits : NullableHandleTraits<void*> {
        static void Close(Value value);
    };

  private:
    ScopedHandle<HandleTraits> handle_;
};

}  // namespace platform
