// The process ids whose logging switch this process has made, so that a
// switch of the process's own id that it did not make is known as stale:
// left by a killed run whose id the system has reused. Lock-free, for both
// backends (the Windows program's runtime has no std::mutex).
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

// Whether this process made the switch of `process_id` before; records
// that it makes it now. Past kSlots ids every id counts as made before
// (the state of an existing switch is then kept, as it always was).
inline bool SwitchMadeBefore(uint32_t process_id) {
    constexpr int kSlots = 16;
    static std::atomic<uint32_t> made[kSlots];
    for (std::atomic<uint32_t>& slot : made) {
        uint32_t held = slot.load();
        if (held == process_id + 1) {
            return true;
        }
        if (held == 0 && slot.compare_exchange_strong(held, process_id + 1)) {
            return false;
        }
        if (held == process_id + 1) {
            return true;
        }
    }
    return true;
}

}  // namespace platform
