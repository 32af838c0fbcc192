// The made-up listings of the walk's tests (see listing_seam.h); built only
// with the tests.
#include "platform/listing_seam.h"

#include <utility>

namespace platform {
namespace listing_seam {

namespace {

Fakes& Storage() {
    static Fakes fakes;
    return fakes;
}

}  // namespace

namespace detail {

std::atomic<bool> g_armed{false};

bool FakeEntryArmed(const PathChar* name, Listed* listed) {
    const Fakes& fakes = Storage();
    return fakes.entry && fakes.entry(name, listed);
}

bool FakeVolumeArmed(const PathChar* folder_path, Volume* volume) {
    const Fakes& fakes = Storage();
    return fakes.volume && fakes.volume(folder_path, volume);
}

bool FakeListingFailureArmed(const PathChar* folder_path, OsError* code) {
    const Fakes& fakes = Storage();
    return fakes.listing_fails && fakes.listing_fails(folder_path, code);
}

}  // namespace detail

void Arm(Fakes fakes) {
    Storage() = std::move(fakes);
    detail::g_armed.store(true, std::memory_order_release);
}

void Disarm() {
    detail::g_armed.store(false, std::memory_order_release);
    Storage() = Fakes();
}

}  // namespace listing_seam
}  // namespace platform
