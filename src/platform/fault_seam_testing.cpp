// The injected-fault switchboard of the file layer (see fault_seam.h),
// compiled in builds with the tests only. Only tests arm it; the state is guarded by one lock
// because a test's action may run while another thread of the test uses the file layer. The lock is
// the platform's own (a critical section on Windows), so the shipped program
// needs no threading runtime for it.
#include "platform/fault_seam.h"

#include <utility>

#include "platform/reentrant_lock.h"

namespace platform {
namespace fault {

namespace detail {
std::atomic<bool> g_armed{false};
}  // namespace detail

namespace {

struct Board {
    Board() { lock.Init(); }
    platform::ReentrantLock lock;
    bool has_rule = false;
    Rule rule;
    bool fired = false;
    uint32_t calls[static_cast<uint32_t>(Op::kCount)] = {};
};

Board& TheBoard() {
    static Board board;
    return board;
}

void Restart(Board& board, bool has_rule, Rule rule) {
    board.has_rule = has_rule;
    board.rule = std::move(rule);
    board.fired = false;
    for (uint32_t& count : board.calls) {
        count = 0;
    }
}

}  // namespace

Verdict detail::HitArmed(Op op) {
    Board& board = TheBoard();
    std::function<void()> action;
    Verdict verdict;
    {
        LockHold guard(board.lock);
        const uint32_t call = ++board.calls[static_cast<uint32_t>(op)];
        const bool chosen =
            board.rule.nth == call || (board.rule.and_after && call > board.rule.nth);
        if (!board.has_rule || board.rule.op != op || !chosen) {
            return verdict;
        }
        board.fired = true;
        action = board.rule.before;
        verdict.effect = board.rule.effect;
        verdict.code = board.rule.code;
        verdict.bytes = board.rule.bytes;
    }
    if (action) {
        action();  // outside the lock: the action may use the file layer
    }
    return verdict;
}

void Arm(Rule rule) {
    Board& board = TheBoard();
    LockHold guard(board.lock);
    Restart(board, true, std::move(rule));
    detail::g_armed.store(true, std::memory_order_relaxed);
}

void Count() {
    Board& board = TheBoard();
    LockHold guard(board.lock);
    Restart(board, false, Rule{});
    detail::g_armed.store(true, std::memory_order_relaxed);
}

void Disarm() {
    Board& board = TheBoard();
    LockHold guard(board.lock);
    detail::g_armed.store(false, std::memory_order_relaxed);
    board.has_rule = false;
    board.rule = Rule{};
}

uint32_t Calls(Op op) {
    Board& board = TheBoard();
    LockHold guard(board.lock);
    return board.calls[static_cast<uint32_t>(op)];
}

bool ArmedFor(Op op) {
    if (!detail::g_armed.load(std::memory_order_relaxed)) {
        return false;
    }
    Board& board = TheBoard();
    LockHold guard(board.lock);
    return !board.has_rule || board.rule.op == op;
}

bool Fired() {
    Board& board = TheBoard();
    LockHold guard(board.lock);
    return board.fired;
}

}  // namespace fault
}  // namespace platform
