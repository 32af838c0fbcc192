// ReadAhead: the queue, its readers and the main thread's side of it.
#include "scan/read_ahead.h"

#include <algorithm>
#include <utility>

#include "infect/check_infection.h"
#include "platform/fault_seam.h"
#include "platform/file_view.h"
#include "platform/interrupt.h"
#include "platform/processor_count.h"
#include "platform/test_hooks.h"
#include "scan/image_page.h"
#include "scan/scan_folder_walk.h"

namespace {

// Readers: four per processor, so that readers waiting for the disk leave
// no processor idle and a cold disk has several reads outstanding (the main
// thread never reads a file itself), and at least four even on one
// processor (a solid-state disk serves several at once). Each reader holds
// at most one open file and small views, so sixteen fit a 2 GB address
// space and any descriptor limit.
constexpr uint32_t kReadersPerProcessor = 4;
constexpr uint32_t kFewestReaders = 4;
constexpr uint32_t kMostReaders = 16;
// With the readers' rings, each reader has a batch of files in flight at
// once and the system's own workers wait for the disk: two readers per
// processor, at least four, keep a cold disk busy, and fewer readers are
// fewer to wake.
constexpr uint32_t kRingReadersPerProcessor = 2;
constexpr uint32_t kFewestRingReaders = 4;
// Queued things per reader, and at most: each queued file holds its path
// and its exam (about 1.2 KiB), and each finished folder waiting for its
// turn one descriptor, so the queue stays far below a few MiB and well
// within the descriptor limit.
constexpr size_t kItemsPerReader = 32;
constexpr size_t kMostItems = 256;
// The ring's room beyond the look-ahead: the walk hands over at most a few
// things for one entry (a folder: its line, two counts and its progress)
// after it last found the queue short of full, so the ring never fills.
constexpr size_t kRoomForOneEntry = 16;
// Files queued before the readers are woken: a reader's batch.
constexpr uint32_t kWakeBatch = static_cast<uint32_t>(platform::PageBatch::kMostFiles);
// Files the main thread waits for when it has caught up with the readers:
// it sleeps until a run of them is done, not once a file.
constexpr size_t kAwaitBatch = 16;
// How often a wait of the main thread looks for an interrupt: well within
// the half second in which an interrupted run must have written its end.
constexpr uint32_t kInterruptSliceMs = 20;

// Whether an image test's failure may pass when tried again with no other
// reader holding anything: a mapping or view refused for want of room.
bool FailedForWantOfRoom(const ImageExam& exam) {
    return (exam.failed == ImageStep::Mapping || exam.failed == ImageStep::View) &&
           platform::IsResourceError(exam.code);
}

}  // namespace

// A reader's start: its share of the state, which it releases when it ends.
struct ReadAhead::ReaderStart {
    std::shared_ptr<Shared> shared;
};

ReadAhead::Shared::Shared() {
    lock.Init();
}

ReadAhead::Shared::~Shared() {
    // The last holder: no reader runs any more, nobody holds the lock.
    lock.Destroy();
}

ReadAhead::ReadAhead(const ScanOptions& options, Mode mode)
    : report_(options),
      readers_first_(kTestHooks && mode == Mode::ReadersFirst),
      shared_(new Shared()) {
    shared_->signatures = options.signatures;
    if (mode != Mode::Off) {
        const uint32_t processors = platform::ProcessorCount();
        const bool rings = RingWanted() && platform::PageBatch::Available();
        const uint32_t wanted =
            rings ? std::min(kMostReaders,
                             std::max(kFewestRingReaders, kRingReadersPerProcessor * processors))
                  : std::min(kMostReaders,
                             std::max(kFewestReaders, kReadersPerProcessor * processors));
        if (StartReaders(wanted)) {
            // Ring readers: as many files ahead as without them, in batches.
            capacity_ =
                rings ? kMostItems : std::min(kMostItems, kItemsPerReader * readers_.size());
        }
    }
    // Allocated once: readers hold items by their place in the ring.
    shared_->ring.resize(capacity_ + kRoomForOneEntry);
}

ReadAhead::~ReadAhead() {
    if (!HasReaders()) {
        return;
    }
    {
        platform::LockHold hold(shared_->lock);
        shared_->stopping = true;
        shared_->work.Set();
        shared_->resumed.Set();
    }
    for (const std::unique_ptr<platform::Thread>& reader : readers_) {
        if (!stopped_) {
            reader->Wait();  // idle: everything queued is done
        }
        // After an interrupt a reader may be held by the disk for long: it
        // goes on detached and ends at its next look at the queue.
        reader->Close();
    }
    readers_.clear();
}

bool ReadAhead::StartReaders(uint32_t count) {
    if (!shared_->work.CreateManualReset() || !shared_->done.CreateManualReset() ||
        !shared_->resumed.CreateManualReset()) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        std::unique_ptr<platform::Thread> reader(new platform::Thread());
        ReaderStart* start = new ReaderStart{shared_};
        if (!reader->Start(&ReadAhead::ReaderMain, start)) {
            delete start;
            break;  // as many as could be started
        }
        readers_.push_back(std::move(reader));
    }
    return HasReaders();
}

uint32_t ReadAhead::ReaderMain(void* raw) {
    std::unique_ptr<ReaderStart> start(static_cast<ReaderStart*>(raw));
    ReadLoop(*start->shared);
    return 0;  // the last reader out of an abandoned queue releases it here
}

ReadAhead::Item* ReadAhead::TakeQueued(Shared& shared) {
    if (shared.paused) {
        // Only a file to be tried again alone, once no reader holds one.
        Item* alone = shared.examining == 0 ? shared.alone : nullptr;
        if (alone != nullptr) {
            shared.alone = nullptr;
            alone->state = JobState::Taken;
        }
        return alone;
    }
    // The first queued file no one has taken, from where the last look
    // ended.
    shared.next_to_take = std::max(shared.next_to_take, shared.front_number);
    const uint64_t end = shared.front_number + shared.count;
    while (shared.next_to_take < end) {
        Item& item = shared.At(static_cast<size_t>(shared.next_to_take - shared.front_number));
        ++shared.next_to_take;
        if (item.kind == Kind::File && item.state == JobState::Queued) {
            item.state = JobState::Taken;
            return &item;
        }
    }
    return nullptr;
}

void ReadAhead::BeginExam(Shared& shared, Item& job, bool* relist) {
    // A file the listing found before the last repair is listed again
    // first; one the listing did not ask about is asked about now.
    *relist = job.queried && job.listed_at != shared.repairs;
    job.listed_at = shared.repairs;
    job.examined_at = shared.repairs;
}

bool ReadAhead::PrepareExam(Item& job, bool relist) {
    if (!job.queried) {
        job.entry = platform::QueryListedFile(&job.ref);
        job.queried = true;
    } else if (relist) {
        platform::RelistFile(&job.ref);  // one no longer listed keeps what it had
    }
    job.exam = ImageExam();
    job.retry = false;
    const uint32_t size = job.ref.listed_size_low;
    // Passed over, or too small to be an image: never opened.
    return job.entry == platform::EntryKind::File && size >= kMinImageSize &&
           size <= kScanSizeLimit && job.path.size() < kScanFilePathChars;
}

void ReadAhead::FinishExam(Item& job, const SignatureList& signatures) {
    if (job.exam.image) {
        DigestHeldWindow(&job.exam.window, signatures);
    }
    job.retry = !job.retried && FailedForWantOfRoom(job.exam);
}

void ReadAhead::ExamineFile(Item& job, bool relist, const SignatureList& signatures) {
    if (PrepareExam(job, relist)) {
        ExamineImage(job.ref, nullptr, &job.exam);
        FinishExam(job, signatures);
    }
}

bool ReadAhead::HoldForFile(Shared& shared, const Batch& batch) {
    if (batch.held) {
        return true;  // counted from the start
    }
    platform::LockHold hold(shared.lock);
    // A file is opened on its own only while the readers are not paused.
    while (shared.paused && !shared.stopping) {
        WaitLocked(shared, shared.resumed, false);
    }
    if (shared.stopping) {
        return false;  // nothing more is reported: nothing more is opened
    }
    ++shared.examining;
    return true;
}

void ReadAhead::ReleaseFile(Shared& shared, const Batch& batch) {
    if (batch.held) {
        return;
    }
    platform::LockHold hold(shared.lock);
    --shared.examining;
    if (shared.paused && shared.examining == 0) {
        shared.done.Set();
    }
}

void ReadAhead::ExamineBatch(Shared& shared, Batch& batch) {
    platform::PageBatch::Page pages[platform::PageBatch::kMostFiles];
    bool examine[platform::PageBatch::kMostFiles] = {};
    for (size_t i = 0; i < batch.count; ++i) {
        Item& job = *batch.jobs[i];
        examine[i] = PrepareExam(job, batch.relist[i]);
        if (examine[i] && batch.ring.Started() && job.ref.listed) {
            pages[i].ref = &job.ref;
            pages[i].bytes = batch.pages.get() + i * kImageHeadBytes;
            pages[i].length = kImageHeadBytes;
        }
    }
    if (batch.ring.Started()) {
        batch.ring.Read(pages, batch.count);  // a ring that failed is stopped
    }
    for (size_t i = 0; i < batch.count; ++i) {
        if (!examine[i]) {
            continue;
        }
        Item& job = *batch.jobs[i];
        // Whatever the page did not settle as the view would takes the
        // file's own path, which reports every failure as it always has.
        if (!pages[i].read || !ExamineFirstPage(pages[i].bytes, pages[i].got, kImageHeadBytes,
                                                job.ref.listed_size_low, &job.exam)) {
            if (!HoldForFile(shared, batch)) {
                continue;
            }
            ExamineImage(job.ref, nullptr, &job.exam);
            ReleaseFile(shared, batch);
        }
        FinishExam(job, *shared.signatures);
    }
}

void ReadAhead::EndExam(Shared& shared, Item& job) {
    if (job.examined_at != shared.repairs) {
        // A file was written while this one was read: read again.
        job.state = JobState::Queued;
        shared.next_to_take = shared.front_number;
        return;
    }
    job.state = JobState::Done;
    // The main thread is woken when what it waits for is done: the last of
    // the files it awaits, or the last file held while it pauses.
    const bool last_awaited = job.awaited && shared.awaited_left != 0 && --shared.awaited_left == 0;
    job.awaited = false;
    if (last_awaited || (shared.paused && shared.examining == 0)) {
        shared.done.Set();
    }
}

bool ReadAhead::RingWanted() {
    // A test's injected faults of the per-file reading count its calls: the
    // ring stays out of their way.
    if constexpr (kTestHooks) {
        using platform::fault::Op;
        for (Op op : {Op::Open, Op::Size, Op::Read, Op::Map, Op::View}) {
            if (platform::fault::ArmedFor(op)) {
                return false;
            }
        }
    }
    return true;
}

void ReadAhead::ReadLoop(Shared& shared) {
    Batch batch;
    if (RingWanted() && batch.ring.Start()) {
        batch.pages.reset(new uint8_t[platform::PageBatch::kMostFiles * kImageHeadBytes]);
    }
    shared.lock.Enter();
    while (!shared.stopping) {
        // A batch while the ring runs, one file at a time otherwise.
        const size_t most = batch.ring.Started() ? platform::PageBatch::kMostFiles : 1;
        batch.count = 0;
        while (batch.count < most) {
            Item* job = TakeQueued(shared);
            if (job == nullptr) {
                break;
            }
            bool relist = false;
            BeginExam(shared, *job, &relist);
            batch.jobs[batch.count] = job;
            batch.relist[batch.count] = relist;
            ++batch.count;
        }
        if (batch.count == 0) {
            // Reset only while nothing is queued: the main thread sets it
            // again under the lock once a batch of files is queued, and
            // when it resumes paused readers.
            WaitLocked(shared, shared.work, false);
            continue;
        }
        // A reader that reads each file on its own holds its file from the
        // start, as does the one file tried again alone. A ring's batch
        // holds its files only in the ring's own slots, for one read of
        // their first page: a pause does not wait for it (a disk that hangs
        // one read would hold the repair), and a result it read while a file
        // was repaired is read again (EndExam). Only a file it leaves to the
        // per-file path is held, and never while the readers are paused.
        batch.held = !batch.ring.Started() || shared.paused;
        if (batch.held) {
            shared.examining += static_cast<uint32_t>(batch.count);
        }
        shared.lock.Leave();
        ExamineBatch(shared, batch);
        shared.lock.Enter();
        if (batch.held) {
            shared.examining -= static_cast<uint32_t>(batch.count);
        }
        for (size_t i = 0; i < batch.count; ++i) {
            EndExam(shared, *batch.jobs[i]);
        }
    }
    shared.lock.Leave();
}

bool ReadAhead::WaitLocked(Shared& shared, platform::Event& event, bool interruptible) {
    event.Reset();
    shared.lock.Leave();
    bool set = false;
    bool interrupted = false;
    while (!set && !interrupted) {
        if (interruptible) {
            set = event.WaitFor(kInterruptSliceMs);
            interrupted = !set && platform::InterruptRequested();
        } else {
            set = event.Wait();
            if (!set) {
                break;  // a failed wait: look again rather than hang
            }
        }
    }
    shared.lock.Enter();
    return !interrupted;
}

bool ReadAhead::PauseReaders(bool interruptible) {
    if (!HasReaders() || paused_) {
        return true;
    }
    platform::LockHold hold(shared_->lock);
    shared_->paused = true;
    paused_ = true;
    while (shared_->examining != 0) {
        if (!WaitLocked(*shared_, shared_->done, interruptible)) {
            return false;
        }
    }
    return true;
}

void ReadAhead::ResumeReaders() {
    if (!paused_) {
        return;
    }
    platform::LockHold hold(shared_->lock);
    shared_->paused = false;
    paused_ = false;
    shared_->work.Set();
    shared_->resumed.Set();
}

ReadAhead::Item& ReadAhead::Push(Kind kind) {
    platform::LockHold hold(shared_->lock);
    // The ring has room: see kRoomForOneEntry.
    Item& item = shared_->At(shared_->count);
    ++shared_->count;
    item.kind = kind;
    item.begins_entry = next_begins_entry_;
    next_begins_entry_ = false;
    return item;
}

void ReadAhead::PopFront() {
    platform::LockHold hold(shared_->lock);
    Item& item = shared_->At(0);
    // Made ready for its next use, keeping the room its strings took.
    item.path.clear();
    item.folder.reset();
    item.state = JobState::Done;
    item.awaited = false;
    shared_->head = (shared_->head + 1) % shared_->ring.size();
    --shared_->count;
    ++shared_->front_number;
}

// After an item is complete: with the read-ahead off it is done at once.
void ReadAhead::Handed() {
    if (!HasReaders()) {
        Drain();
    }
}

void ReadAhead::BeginEntry() {
    next_begins_entry_ = true;
}

void ReadAhead::PathLine(const char* format, int number, const PathString& path) {
    if (stopped_) {
        return;
    }
    Item& item = Push(Kind::Line);
    item.format = format;
    item.number = number;
    item.path = path;
    Handed();
}

void ReadAhead::SearchFailed(OsError code) {
    if (stopped_) {
        return;
    }
    Item& item = Push(Kind::SearchFailed);
    item.code = code;
    Handed();
}

void ReadAhead::Count(ScanCounter counter) {
    if (stopped_) {
        return;
    }
    Item& item = Push(Kind::Count);
    item.counter = counter;
    Handed();
}

void ReadAhead::Progress(const PathString& folder) {
    if (stopped_) {
        return;
    }
    Item& item = Push(Kind::Progress);
    item.path = folder;
    Handed();
}

void ReadAhead::File(const PathString& folder, const PathChar* name,
                     const platform::DirSearch& search, uint32_t size_low) {
    QueueFile(folder, name, search, true, size_low);
}

void ReadAhead::ListedFile(const PathString& folder, const PathChar* name,
                           const platform::DirSearch& search) {
    QueueFile(folder, name, search, false, 0);
}

void ReadAhead::QueueFile(const PathString& folder, const PathChar* name,
                          const platform::DirSearch& search, bool queried, uint32_t size_low) {
    if (stopped_) {
        return;
    }
    {
        platform::LockHold hold(shared_->lock);
        Item& item = Push(Kind::File);
        item.folder_length = folder.size();
        item.path.assign(folder).append(1, ZQ_PATH_SEP).append(name);
        const platform::FileRef fresh(item.path.c_str());
        item.ref = fresh;  // keeps the room of the name it held before
        search.Locate(&item.ref);
        item.queried = queried;
        item.entry = platform::EntryKind::File;
        item.listed_at = shared_->repairs;
        item.examined_at = shared_->repairs;
        item.retry = false;
        item.retried = false;
        item.exam = ImageExam();
        // A listed file too small to be an image is never opened: nothing
        // to read; any other is the readers'.
        item.state = !queried || size_low >= kMinImageSize ? JobState::Queued : JobState::Done;
        // The readers are woken for a batch of files, not for each.
        if (item.state == JobState::Queued && HasReaders() &&
            ++shared_->unsignalled >= kWakeBatch) {
            shared_->unsignalled = 0;
            shared_->work.Set();
        }
    }
    Handed();
}

void ReadAhead::CloseFolder(platform::DirSearch search) {
    if (stopped_ || !HasReaders()) {
        return;  // closed here: nothing queued uses it
    }
    Item& item = Push(Kind::CloseFolder);
    item.folder.reset(new platform::DirSearch(std::move(search)));
}

void ReadAhead::KeepOpenForReaders(platform::DirSearch search) {
    if (!HasReaders()) {
        return;  // closed here: no reader reads through it
    }
    platform::LockHold hold(shared_->lock);
    shared_->kept.emplace_back(new platform::DirSearch(std::move(search)));
}

bool ReadAhead::Full() const {
    return shared_->count >= capacity_;
}

bool ReadAhead::Empty() const {
    return stopped_ || shared_->count == 0;
}

void ReadAhead::Drain() {
    while (!Empty()) {
        DoNext();
    }
}

void ReadAhead::Stop() {
    stopped_ = true;
    if (!HasReaders()) {
        while (shared_->count != 0) {
            PopFront();
        }
        return;
    }
    // The queue stays as it is: a reader may still hold one of its files.
    // The readers take nothing more and end at their next look.
    platform::LockHold hold(shared_->lock);
    shared_->stopping = true;
    shared_->work.Set();
    shared_->resumed.Set();
}

bool ReadAhead::AwaitExam(Item& item) {
    platform::LockHold hold(shared_->lock);
    // An interrupt is taken between two entries: only while the file's
    // entry has not begun.
    const bool interruptible = item.begins_entry;
    if (kTestHooks && readers_first_ && HasReaders()) {
        shared_->work.Set();  // every file queued so far, not only a batch
        if (!AwaitFiles(SIZE_MAX, interruptible)) {
            return false;
        }
    }
    if (!HasReaders()) {
        if (item.state == JobState::Queued) {
            // No reader: examined here.
            bool relist = false;
            BeginExam(*shared_, item, &relist);
            shared_->lock.Leave();
            ExamineFile(item, relist, *shared_->signatures);
            shared_->lock.Enter();
            item.state = JobState::Done;
        }
        return true;
    }
    if (item.state != JobState::Done) {
        // The readers are behind: every queued file is theirs now. The main
        // thread never opens a file for a reader, so that a disk that holds
        // an open for long holds a reader, never the end of the run.
        shared_->unsignalled = 0;
        shared_->work.Set();
    }
    return item.state == JobState::Done || AwaitFiles(kAwaitBatch, interruptible);
}

bool ReadAhead::AwaitFiles(size_t count, bool interruptible) {
    shared_->awaited_left = 0;
    size_t seen = 0;
    for (size_t i = 0; i < shared_->count && seen != count; ++i) {
        Item& queued = shared_->At(i);
        if (queued.kind != Kind::File) {
            continue;
        }
        ++seen;
        queued.awaited = queued.state != JobState::Done;
        shared_->awaited_left += queued.awaited ? 1 : 0;
    }
    while (shared_->awaited_left != 0) {
        if (!WaitLocked(*shared_, shared_->done, interruptible)) {
            return false;
        }
    }
    return true;
}

void ReadAhead::DoNext() {
    Item& item = shared_->At(0);
    if (item.begins_entry && platform::InterruptRequested()) {
        Stop();  // between two entries: nothing more is done
        return;
    }
    if (item.kind == Kind::File && !AwaitExam(item)) {
        Stop();
        return;
    }
    Do(item);
    if (stopped_) {
        return;
    }
    PopFront();
}

void ReadAhead::Do(Item& item) {
    switch (item.kind) {
        case Kind::Line:
            report_.PathLine(item.format, item.number, item.path);
            break;
        case Kind::SearchFailed:
            report_.SearchFailed(item.code);
            break;
        case Kind::Count:
            report_.Count(item.counter);
            break;
        case Kind::Progress:
            report_.Progress(item.path);
            break;
        case Kind::File:
            DoFile(item);
            break;
        case Kind::CloseFolder:
            item.folder.reset();
            break;
    }
}

bool ReadAhead::RetryAlone(Item& item) {
    if (!PauseReaders(true)) {
        return false;
    }
    platform::LockHold hold(shared_->lock);
    item.retry = false;
    item.retried = true;
    item.state = JobState::Queued;
    shared_->alone = &item;
    shared_->work.Set();
    return AwaitFiles(1, item.begins_entry);
}

void ReadAhead::ExamineQueuedAgain() {
    platform::LockHold hold(shared_->lock);
    ++shared_->repairs;
    // Behind the file in hand: those read are read again (those a reader
    // holds now, when it is done with them), those not read yet are listed
    // again first.
    for (size_t i = 1; i < shared_->count; ++i) {
        Item& queued = shared_->At(i);
        if (queued.kind == Kind::File && queued.state == JobState::Done) {
            queued.state = JobState::Queued;
            queued.retried = false;
        }
    }
    shared_->next_to_take = shared_->front_number;
}

void ReadAhead::DoFile(Item& item) {
    // Everything here that waits comes before the file's first line, so
    // that an interrupt meanwhile ends the run before this file.
    if (item.retry && HasReaders() && !RetryAlone(item)) {
        Stop();  // the readers stay paused
        return;
    }
    if (item.begins_entry && platform::InterruptRequested()) {
        Stop();
        return;
    }
    const PathString folder(item.path, 0, item.folder_length);
    if (item.entry == platform::EntryKind::BindMount) {
        report_.PathLine("[%s][%d]Mount inside the walk, not scanned:%s", 298, item.path);
        report_.Count(ScanCounter::NotScanned);
        ResumeReaders();
        return;
    }
    if (item.entry != platform::EntryKind::File || item.ref.listed_size_low > kScanSizeLimit) {
        // Gone meanwhile: nothing; over the size limit: seen, never opened.
        if (item.entry == platform::EntryKind::File) {
            report_.Count(ScanCounter::FilesSeen);
            report_.Progress(folder);
        }
        ResumeReaders();
        return;
    }
    if (item.path.size() >= kScanFilePathChars) {
        // A cut path could name another file: the file is not examined.
        report_.Count(ScanCounter::FilesSeen);
        report_.Progress(folder);
        report_.PathLine("[%s][%d]File path too long, not scanned:%s", 313, item.path);
        report_.Count(ScanCounter::NotScanned);
        ResumeReaders();
        return;
    }
    if (item.exam.image && item.exam.window.matched != nullptr && !report_.CheckOnly()) {
        // Infected by its window: no reader may hold a file while it is
        // backed up and rewritten.
        if (!PauseReaders(true)) {
            Stop();  // the readers stay paused
            return;
        }
    }
    // The check may still find infection where no window was held: the
    // readers are then paused right before the quarantine call.
    const bool written =
        report_.File(item.ref, item.folder_length, item.exam, [this] { PauseReaders(false); });
    if (written && HasReaders()) {
        ExamineQueuedAgain();  // it may have been written
    }
    ResumeReaders();
}
