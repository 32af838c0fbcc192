#include "platform/event.h"

#include <windows.h>

#include <atomic>

namespace platform {

namespace {

// The event and a note of whether it is known to be set, so that a Set on
// a set event needs no system call. The note is true only while the event
// is set or a SetEvent is about to make it so, with one exception that is
// harmless for the log: between ResetEvent and clearing the note inside
// Reset. The log resets only under its queue lock, in the step that takes
// every line queued so far, so a Set skipped in that window belongs to a
// line that step has already taken.
struct EventState {
    HANDLE event;
    std::atomic<bool> set{false};
};

EventState* StateOf(void* handle) {
    return static_cast<EventState*>(handle);
}

}  // namespace

Event::~Event() {
    Close();
}

bool Event::CreateManualReset() {
    Close();
    // Unnamed, no security attributes, manual reset, not signalled.
    HANDLE event = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (event == NULL) {
        return false;
    }
    EventState* state = new EventState;
    state->event = event;
    handle_ = state;
    return true;
}

void Event::Set() {
    EventState* state = StateOf(handle_);
    if (state->set.load(std::memory_order_acquire)) {
        return;
    }
    // Only the caller that turns the note on makes the call.
    if (!state->set.exchange(true, std::memory_order_acq_rel)) {
        SetEvent(state->event);
    }
}

void Event::Reset() {
    EventState* state = StateOf(handle_);
    ResetEvent(state->event);
    state->set.store(false, std::memory_order_release);
}

bool Event::Wait() {
    EventState* state = StateOf(handle_);
    if (state == nullptr) {
        return false;
    }
    return WaitForSingleObject(state->event, INFINITE) == 0;
}

void Event::Close() {
    EventState* state = StateOf(handle_);
    if (state != nullptr) {
        CloseHandle(state->event);
        delete state;
        handle_ = nullptr;
    }
}

}  // namespace platform
