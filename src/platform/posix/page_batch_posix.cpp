// platform::PageBatch on Linux: an io_uring of the reader's own (liburing,
// linked statically), with kMostFiles registered file slots. Each file is
// one chain of four requests, all of a batch submitted with one system
// call:
//   openat into slot i (the flags of File::Open for reading, without
//     O_CLOEXEC, which a slot has no use for), linked: if it fails the
//     rest is cancelled;
//   fadvise(RANDOM) on the slot, hard-linked: a cold disk reads the page
//     asked for, not a read-ahead window, and a refusal changes nothing;
//   read of the first bytes (at most a page) at offset 0, hard-linked, so
//     that
//   close of slot i runs whatever the read found.
// The ring is created on the thread that uses it (one issuer).
#include <errno.h>
#include <fcntl.h>
#include <liburing.h>
#include <string.h>

#include "platform/fault_seam.h"
#include "platform/page_batch.h"

namespace platform {

namespace {

constexpr unsigned kSteps = 4;  // open, fadvise, read, close
constexpr unsigned kEntries = PageBatch::kMostFiles * kSteps;
constexpr int kOpenFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;

enum Step : uint64_t { kOpen = 0, kAdvise = 1, kRead = 2, kClose = 3 };

// An answer that says the ring cannot do what is asked of it here, rather
// than something of the file.
bool Refused(int result) {
    return result == -ENOSYS || result == -EINVAL || result == -EOPNOTSUPP || result == -EPERM;
}

}  // namespace

struct PageBatch::State {
    struct io_uring ring;
    bool started = false;

    ~State() {
        if (started) {
            io_uring_queue_exit(&ring);
        }
    }
    void Stop() {
        if (started) {
            io_uring_queue_exit(&ring);
            started = false;
        }
    }
};

bool PageBatch::Available() {
    PageBatch probe;
    return probe.Start();
}

PageBatch::PageBatch() : state_(new State()) {}
PageBatch::~PageBatch() = default;

bool PageBatch::Started() const {
    return state_->started;
}

bool PageBatch::Start() {
    if (state_->started) {
        return true;
    }
    if (fault::Hit(fault::Op::Ring).effect == fault::Effect::Fail) {
        return false;
    }
    // One thread submits and reaps: the kernel then runs the completions'
    // work when that thread waits, not on interrupts of its own.
    struct io_uring_params params;
    memset(&params, 0, sizeof params);
    params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN;
    if (io_uring_queue_init_params(kEntries, &state_->ring, &params) != 0 &&
        io_uring_queue_init(kEntries, &state_->ring, 0) != 0) {
        return false;  // no io_uring, or not for this process
    }
    state_->started = true;
    struct io_uring_probe* probe = io_uring_get_probe_ring(&state_->ring);
    const bool operations = probe != nullptr &&
                            io_uring_opcode_supported(probe, IORING_OP_OPENAT) &&
                            io_uring_opcode_supported(probe, IORING_OP_FADVISE) &&
                            io_uring_opcode_supported(probe, IORING_OP_READ) &&
                            io_uring_opcode_supported(probe, IORING_OP_CLOSE);
    if (probe != nullptr) {
        io_uring_free_probe(probe);
    }
    if (!operations || io_uring_register_files_sparse(&state_->ring, kMostFiles) != 0) {
        state_->Stop();
        return false;
    }
    return true;
}

bool PageBatch::Read(Page* pages, size_t count) {
    if (!state_->started) {
        return false;
    }
    const fault::Verdict injected = fault::Hit(fault::Op::Ring);
    if (injected.effect == fault::Effect::Fail) {
        state_->Stop();
        return false;
    }
    struct io_uring* ring = &state_->ring;
    unsigned queued = 0;
    bool in_batch[kMostFiles] = {};
    for (size_t i = 0; i < count && i < kMostFiles; ++i) {
        Page& page = pages[i];
        page.read = false;
        page.got = 0;
        if (page.ref == nullptr || page.ref->folder_ < 0 || page.ref->name_.empty()) {
            continue;  // not opened through a folder: the per-file path
        }
        in_batch[i] = true;
        const unsigned slot = static_cast<unsigned>(i);
        const uint64_t tag = static_cast<uint64_t>(i) * kSteps;
        struct io_uring_sqe* sqe = io_uring_get_sqe(ring);
        io_uring_prep_openat_direct(sqe, static_cast<int>(page.ref->folder_),
                                    page.ref->name_.c_str(), kOpenFlags, 0, slot);
        sqe->flags |= IOSQE_IO_LINK;
        sqe->user_data = tag + kOpen;
        sqe = io_uring_get_sqe(ring);
        io_uring_prep_fadvise(sqe, static_cast<int>(slot), 0, 0, POSIX_FADV_RANDOM);
        sqe->flags |= IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
        sqe->user_data = tag + kAdvise;
        sqe = io_uring_get_sqe(ring);
        const uint32_t length = page.length < kPageBytes ? page.length : kPageBytes;
        io_uring_prep_read(sqe, static_cast<int>(slot), page.bytes, length, 0);
        sqe->flags |= IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
        sqe->user_data = tag + kRead;
        sqe = io_uring_get_sqe(ring);
        io_uring_prep_close_direct(sqe, slot);
        sqe->user_data = tag + kClose;
        queued += kSteps;
    }
    if (queued == 0) {
        return true;
    }
    int submitted;
    do {
        submitted = io_uring_submit_and_wait(ring, queued);
    } while (submitted == -EINTR);
    if (submitted < 0 || static_cast<unsigned>(submitted) != queued) {
        state_->Stop();  // what was opened is closed with the ring
        return false;
    }
    int results[kMostFiles][kSteps] = {};
    for (unsigned reaped = 0; reaped < queued; ++reaped) {
        struct io_uring_cqe* cqe = nullptr;
        int waited;
        do {
            waited = io_uring_wait_cqe(ring, &cqe);
        } while (waited == -EINTR);
        if (waited != 0) {
            state_->Stop();
            return false;
        }
        results[cqe->user_data / kSteps][cqe->user_data % kSteps] = cqe->res;
        io_uring_cqe_seen(ring, cqe);
    }
    bool refused = false;
    bool opened[kMostFiles] = {};
    for (size_t i = 0; i < count && i < kMostFiles; ++i) {
        const int* result = results[i];
        opened[i] = in_batch[i] && result[kOpen] >= 0;
        refused = refused || (in_batch[i] && Refused(result[kOpen])) ||
                  (opened[i] && (Refused(result[kRead]) || Refused(result[kClose])));
    }
    int read_result[kMostFiles] = {};
    for (size_t i = 0; i < count && i < kMostFiles; ++i) {
        read_result[i] = results[i][kRead];
    }
    for (size_t i = 0; i < count && i < kMostFiles; ++i) {
        Page& page = pages[i];
        if (!opened[i] || read_result[i] < 0) {
            continue;
        }
        page.read = true;
        page.got = static_cast<uint32_t>(read_result[i]);
        const uint32_t length = page.length < kPageBytes ? page.length : kPageBytes;
        memset(page.bytes + page.got, 0, length - page.got);
    }
    if (refused) {
        state_->Stop();
        return false;
    }
    return true;
}

}  // namespace platform
