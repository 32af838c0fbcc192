// Made-up listings for the walk: TEST USE ONLY.
//
// A test gives the directory search what a Windows listing would say of
// chosen entries (their attribute word and reparse tag), what the system
// would answer about the volume behind a mount point, and which folders'
// listings fail, so that each case of the walk (a file or folder that is
// not local, a link, a mount point of a volume with or without a drive
// letter, a folder the system keeps to itself) can be reached on every
// backend without a disk that has them. Only builds with the tests have it
// (test_hooks.h): in the programs that ship each hook is a constant false.
//
// The backends ask it:
//   DirSearch::Kind, Locate   an entry named so is listed with the given
//                             attributes and tag (ClassifyListedEntry)
//   DirSearch::EntersMountPoint  the volume behind a mount point
//   DirSearch::Open, OpenChild   a folder whose listing fails with a code
//   RelistFile                a name listed again is listed as the fake says
//   File::Open (Windows, the repair's open)  the opened file's attributes
//                             (what GetFileInformationByHandle says of the
//                             point the open found in the file's place)
//
// Apart from the fakes, a test program that walks folder trees confines
// every listing to the folder its trees are made in (ConfineForTesting):
// a walk gone astray is stopped at its first step out, on every backend,
// and the test is told.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/test_hooks.h"
#include "platform/types.h"

namespace platform {
namespace listing_seam {

struct Listed {
    uint32_t attributes = 0;
    uint32_t reparse_tag = 0;
};

struct Volume {
    bool volume_known = false;  // the mount point names a volume
    bool paths_known = true;    // its paths could be had
    PathString paths;           // NUL-separated, ending with an empty one
};

struct Fakes {
    // True, with `*listed` filled in, for an entry named `name` to list so.
    std::function<bool(const PathChar* name, Listed* listed)> entry;
    // True, with `*volume` filled in, for the mount point `folder_path`.
    std::function<bool(const PathChar* folder_path, Volume* volume)> volume;
    // True, with `*code` filled in, for a folder whose listing fails.
    std::function<bool(const PathChar* folder_path, OsError* code)> listing_fails;
    // True, with `*attributes` filled in, for the file `path` whose opened
    // handle is to report them.
    std::function<bool(const PathChar* path, uint32_t* attributes)> opened;
};

// The code of a listing refused outside the confinement (no system's).
constexpr OsError kOutsideConfinement = 0x5A51;

// From now on (null: no longer) every listing of a folder that does not lie
// below `base`, or whose path names "." or "..", fails with
// kOutsideConfinement, and `refused` (optional) is told the folder's path
// first. Independent of the fakes (Arm, Disarm); set before the walks.
void ConfineForTesting(const PathChar* base,
                       std::function<void(const PathChar* folder_path)> refused);

namespace detail {
extern std::atomic<bool> g_armed;
extern std::atomic<bool> g_confined;
bool OutsideConfinement(const PathChar* folder_path, OsError* code);
bool FakeEntryArmed(const PathChar* name, Listed* listed);
bool FakeVolumeArmed(const PathChar* folder_path, Volume* volume);
bool FakeListingFailureArmed(const PathChar* folder_path, OsError* code);
bool FakeOpenedAttributesArmed(const PathChar* path, uint32_t* attributes);
}  // namespace detail

// Arms `fakes` (set up before the walk; read by the thread that walks).
void Arm(Fakes fakes);
void Disarm();

class Scoped {
  public:
    explicit Scoped(Fakes fakes) { Arm(std::move(fakes)); }
    ~Scoped() { Disarm(); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
};

// Each hook: whether the fakes speak for the case, and their answer.
inline bool FakeEntry(const PathChar* name, Listed* listed) {
    if constexpr (!kTestHooks) {
        return false;
    } else {
        return detail::g_armed.load(std::memory_order_acquire) &&
               detail::FakeEntryArmed(name, listed);
    }
}

inline bool FakeVolume(const PathChar* folder_path, Volume* volume) {
    if constexpr (!kTestHooks) {
        return false;
    } else {
        return detail::g_armed.load(std::memory_order_acquire) &&
               detail::FakeVolumeArmed(folder_path, volume);
    }
}

inline bool FakeListingFailure(const PathChar* folder_path, OsError* code) {
    if constexpr (!kTestHooks) {
        return false;
    } else {
        return (detail::g_confined.load(std::memory_order_acquire) &&
                detail::OutsideConfinement(folder_path, code)) ||
               (detail::g_armed.load(std::memory_order_acquire) &&
                detail::FakeListingFailureArmed(folder_path, code));
    }
}

inline bool FakeOpenedAttributes(const PathChar* path, uint32_t* attributes) {
    if constexpr (!kTestHooks) {
        return false;
    } else {
        return detail::g_armed.load(std::memory_order_acquire) &&
               detail::FakeOpenedAttributesArmed(path, attributes);
    }
}

}  // namespace listing_seam
}  // namespace platform
