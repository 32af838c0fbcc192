// Injected faults for the platform's file and view layer and its start-up
// calls: TEST USE ONLY. In a build without the tests every Hit() is a
// constant "no fault" and nothing else of this header is defined.
//
// A test arms one rule ("the Nth call of operation X fails with OS code C",
// or "moves at most B bytes") and the platform obeys it, so every failure
// point of the code that reads and rewrites users' files, and of the
// program's start, can be reached without a broken disk or system. In a test build, disarmed, each
// hook costs one relaxed atomic load and a branch that is never taken.
//
// The backends call Hit() at the start of each operation:
//   Open      File::Open (every variant)
//   Size      File::SizeLow
//   Seek      File::Seek
//   Read      File::Read             (Short: the call moves at most `bytes`)
//   Write     File::Write            (Short: the call moves at most `bytes`)
//   Truncate  File::SetEnd
//   Map       FileView::Map, the mapping step (CreateFileMappingW)
//   View      FileView::Map's view step and each FileView::Copy
// and, for the program's start-up steps (Fail only, with `code` as the
// call's error):
//   Token         EnableDebugPrivilege: OpenProcessToken (POSIX: capget)
//   Lookup        EnableDebugPrivilege: LookupPrivilegeValueW (Windows only)
//   Adjust        EnableDebugPrivilege: AdjustTokenPrivileges (POSIX: capset)
//   DriveStrings  ListFixedRoots: each GetLogicalDriveStringsW call (POSIX:
//                 reading the mount table)
//   DriveBlock    ListFixedRoots: the drive-string block (Windows only)
//   ThreadStart   Thread::Start (CreateThread, pthread_create)
//   Ring          PageBatch::Start (io_uring_setup) and each batch's
//                 submission (Fail only, with `code` as the system's answer)
// A Fail of Read or Write moves `bytes` first (0 by default), then fails:
// a transfer cut off part way.
//
// Calls are counted per operation from Arm(), 1 for the first. A rule may
// also run a test's own action right before the chosen call (for instance
// to change the file between two steps); the action runs whether or not
// the rule fails the call.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/test_hooks.h"
#include "platform/types.h"

namespace platform {
namespace fault {

enum class Op : uint32_t {
    Open,
    Size,
    Seek,
    Read,
    Write,
    Truncate,
    Map,
    View,
    Token,
    Lookup,
    Adjust,
    DriveStrings,
    DriveBlock,
    ThreadStart,
    Ring,
    kCount
};

enum class Effect : uint32_t {
    None,   // the call runs as usual (only the action, if any, runs)
    Fail,   // the call fails with `code` after moving `bytes`
    Short,  // the call succeeds but moves at most `bytes`
};

struct Rule {
    Op op = Op::Open;
    uint32_t nth = 1;        // 1 = the first call of `op` after Arm()
    bool and_after = false;  // also every later call of `op` (a slow disk)
    Effect effect = Effect::Fail;
    OsError code = 0;
    uint32_t bytes = 0;
    std::function<void()> before;  // optional, runs right before the call
};

// What a hooked call must do.
struct Verdict {
    Effect effect = Effect::None;
    OsError code = 0;
    uint32_t bytes = 0;
};

namespace detail {
extern std::atomic<bool> g_armed;
Verdict HitArmed(Op op);
}  // namespace detail

// Called by the backends at the start of each hooked operation.
inline Verdict Hit(Op op) {
    if constexpr (!kTestHooks) {
        return Verdict{};
    } else {
        if (!detail::g_armed.load(std::memory_order_relaxed)) {
            return Verdict{};
        }
        return detail::HitArmed(op);
    }
}

// Arms `rule` (replacing any armed one) and restarts the call counts.
void Arm(Rule rule);
// Starts counting calls without any fault: Calls() then tells how many
// calls of each operation a piece of code makes.
void Count();
void Disarm();
// Calls of `op` since the last Arm() or Count().
uint32_t Calls(Op op);
// Whether the armed rule's call was reached.
bool Fired();
// Whether a rule of `op`, or a count of every operation, is armed (the
// file layer's batches then leave every file to the calls it counts).
bool ArmedFor(Op op);

// Arms a rule for one scope.
class Scoped {
  public:
    explicit Scoped(Rule rule) { Arm(std::move(rule)); }
    Scoped() { Count(); }
    ~Scoped() { Disarm(); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
};

}  // namespace fault
}  // namespace platform
