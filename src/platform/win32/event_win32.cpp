// platform::Event on Win32: a manual-reset event with a note of its state.
#include "platform/event.h"

#include <windows.h>

#include <atomic>
#include <utility>

#include "platform/win32/win32_handles.h"

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
    win32::KernelHandle event;
    std::atomic<bool> set{false};
};

EventState* StateOf(void* handle) {
    return static_cast<EventState*>(handle);
}

}  // namespace

void Event::HandleTraits::Close(void* handle) {
    delete StateOf(handle);
}

bool Event::CreateManualReset() {
    Close();
    // Unnamed, no security attributes, manual reset, not signalled.
    win32::KernelHandle event(CreateEventW(NULL, TRUE, FALSE, NULL));
    if (!event.IsValid()) {
        return false;
    }
    EventState* state = new EventState;
    state->event = std::move(event);
    handle_.Reset(state);
    return true;
}

void Event::Set() {
    EventState* state = StateOf(handle_.Get());
    if (state->set.load(std::memory_order_acquire)) {
        return;
    }
    // Only the caller that turns the note on makes the call.
    if (!state->set.exchange(true, std::memory_order_acq_rel)) {
        SetEvent(state->event.Get());
    }
}

void Event::Reset() {
    EventState* state = StateOf(handle_.Get());
    ResetEvent(state->event.Get());
    state->set.store(false, std::memory_order_release);
}

bool Event::Wait() {
    EventState* state = StateOf(handle_.Get());
    if (state == nullptr) {
        return false;
    }
    return WaitForSingleObject(state->event.Get(), INFINITE) == 0;
}

bool Event::IsSetNow() const {
    const EventState* state = StateOf(handle_.Get());
    return state != nullptr && state->set.load(std::memory_order_acquire);
}

bool Event::WaitFor(uint32_t milliseconds) {
    EventState* state = StateOf(handle_.Get());
    if (state == nullptr) {
        return false;
    }
    return WaitForSingleObject(state->event.Get(), milliseconds) == 0;
}

}  // namespace platform
