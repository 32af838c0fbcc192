// platform::ReentrantLock on Win32: a critical section.
#include "platform/reentrant_lock.h"

#include <windows.h>

#include <new>

namespace platform {

namespace {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "CRITICAL_SECTION must fit the lock's storage");

CRITICAL_SECTION* SectionOf(unsigned char* storage) {
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

}  // namespace

void ReentrantLock::Init() {
    InitializeCriticalSection(new (storage_) CRITICAL_SECTION);
    initialised_ = true;
}

void ReentrantLock::Destroy() {
    if (initialised_) {
        DeleteCriticalSection(SectionOf(storage_));
        initialised_ = false;
    }
}

void ReentrantLock::Enter() {
    EnterCriticalSection(SectionOf(storage_));
}

void ReentrantLock::Leave() {
    LeaveCriticalSection(SectionOf(storage_));
}

}  // namespace platform
