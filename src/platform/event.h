// An unnamed manual-reset event: set, it stays set until reset; a wait
// returns at once while it is set. The log's worker sleeps on one.
#pragma once

namespace platform {

class Event {
  public:
    Event() = default;
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Creates the event, not set (closing one held before). False on failure.
    bool CreateManualReset();
    void Set();
    void Reset();
    // Waits without time-out; true when the wait ended because the event is
    // set, false when the wait failed.
    bool Wait();
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

  private:
    void* handle_ = nullptr;  // HANDLE on Windows, the event's state on POSIX
};

}  // namespace platform
