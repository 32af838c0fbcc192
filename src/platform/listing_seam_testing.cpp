// The made-up listings of the walk's tests (see listing_seam.h); built only
// with the tests.
#include "platform/listing_seam.h"

#include <algorithm>
#include <utility>

namespace platform {
namespace listing_seam {

namespace {

Fakes& Storage() {
    static Fakes fakes;
    return fakes;
}

struct Confinement {
    PathString base;
    std::function<void(const PathChar*)> refused;
};

Confinement& Confined() {
    static Confinement confinement;
    return confinement;
}

// Whether `folder_path` lies below `base` (or is it) and names no "." or
// "..": compared as text, as the walk builds its paths.
bool Inside(const PathString& base, const PathString& folder_path) {
    if (folder_path.compare(0, base.size(), base) != 0) {
        return false;
    }
    size_t at = base.size();
    if (at < folder_path.size() && !base.empty() && base.back() != ZQ_PATH_SEP) {
        if (folder_path[at] != ZQ_PATH_SEP) {
            return false;  // "/base2" is not below "/base"
        }
        ++at;
    }
    while (at < folder_path.size()) {
        const size_t end = std::min(folder_path.find(ZQ_PATH_SEP, at), folder_path.size());
        const PathString component = folder_path.substr(at, end - at);
        if (component == ZQ_T(".") || component == ZQ_T("..")) {
            return false;
        }
        at = end + 1;
    }
    return true;
}

}  // namespace

namespace detail {

std::atomic<bool> g_armed{false};
std::atomic<bool> g_confined{false};

bool OutsideConfinement(const PathChar* folder_path, OsError* code) {
    const Confinement& confinement = Confined();
    if (folder_path == nullptr || Inside(confinement.base, folder_path)) {
        return false;
    }
    if (confinement.refused) {
        confinement.refused(folder_path);
    }
    *code = kOutsideConfinement;
    return true;
}

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

bool FakeOpenedAttributesArmed(const PathChar* path, uint32_t* attributes) {
    const Fakes& fakes = Storage();
    return fakes.opened && fakes.opened(path, attributes);
}

}  // namespace detail

void Arm(Fakes fakes) {
    Storage() = std::move(fakes);
    detail::g_armed.store(true, std::memory_order_release);
}

void ConfineForTesting(const PathChar* base,
                       std::function<void(const PathChar* folder_path)> refused) {
    detail::g_confined.store(false, std::memory_order_release);
    if (base == nullptr) {
        Confined() = Confinement();
        return;
    }
    Confined() = Confinement{base, std::move(refused)};
    detail::g_confined.store(true, std::memory_order_release);
}

void Disarm() {
    detail::g_armed.store(false, std::memory_order_release);
    Storage() = Fakes();
}

}  // namespace listing_seam
}  // namespace platform
