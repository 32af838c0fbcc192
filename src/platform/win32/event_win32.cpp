#include "platform/event.h"

#include <windows.h>

namespace platform {

Event::~Event() {
    Close();
}

bool Event::CreateManualReset() {
    Close();
    // Unnamed, no security attributes, manual reset, not signalled.
    handle_ = CreateEventW(NULL, TRUE, FALSE, NULL);
    return handle_ != nullptr;
}

void Event::Set() {
    SetEvent(static_cast<HANDLE>(handle_));
}

void Event::Reset() {
    ResetEvent(static_cast<HANDLE>(handle_));
}

bool Event::Wait() {
    return WaitForSingleObject(static_cast<HANDLE>(handle_), INFINITE) == 0;
}

void Event::Close() {
    if (handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
}

}  // namespace platform
