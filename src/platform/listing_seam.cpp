// The made-up listings of the walk's tests (see listing_seam.h).
#include "platform/listing_seam.h"

#include <utility>

namespace platform {
namespace listing_seam {

namespace detail {
std::atomic<bool> g_armed{false};

namespace {
Fakes& Storage() {
    static Fakes fakes;
    return fakes;
}
}  // namespace

const Fakes& Armed() {
    return Storage();
}
}  // namespace detail

void Arm(Fakes fakes) {
    detail::Storage() = std::move(fakes);
    detail::g_armed.store(true, std::memory_order_release);
}

void Disarm() {
    detail::g_armed.store(false, std::memory_order_release);
    detail::Storage() = Fakes();
}

bool FakeEntry(const PathChar* name, Listed* listed) {
    const Fakes* fakes = Current();
    return fakes != nullptr && fakes->entry && fakes->entry(name, listed);
}

bool FakeVolume(const PathChar* folder_path, Volume* volume) {
    const Fakes* fakes = Current();
    return fakes != nullptr && fakes->volume && fakes->volume(folder_path, volume);
}

bool FakeListingFailure(const PathChar* folder_path, OsError* code) {
    const Fakes* fakes = Current();
    return fakes != nullptr && fakes->listing_fails && fakes->listing_fails(folder_path, code);
}

}  // namespace listing_seam
}  // namespace platform
