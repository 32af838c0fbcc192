// ReadAhead: the queue, its readers and the main thread's side of it.
#include "scan/read_ahead.h"

#include <algorithm>
#include <utility>

#include "log/logger.h"
#include "platform/console.h"
#include "platform/interrupt.h"
#include "platform/path_text.h"
#include "platform/processor_count.h"
#include "quarantine/disinfect_file.h"
#include "scan/scan_progress.h"

namespace {

// Readers: twice the processors, so that a reader waiting for the disk
// does not leave a processor idle, and at least four outstanding reads
// even on one processor (a solid-state disk serves several at once).
constexpr uint32_t kFewestReaders = 4;
constexpr uint32_t kMostReaders = 16;
// Queued things per reader, and at most: each queued file holds its path
// and its exam (about 1.2 KiB), and each finished folder waiting for its
// turn one descriptor, so the queue stays far below a few MiB and well
// within the descriptor limit.
constexpr size_t kItemsPerReader = 32;
constexpr size_t kMostItems = 256;
// Files queued before the readers are woken.
constexpr uint32_t kWakeBatch = 8;

const PathChar* ResultText(ScanResult result) {
    switch (result) {
        case ScanResult::Safe:
            return ZQ_T("\tResult:Safe\n");
        case ScanResult::Fixed:
            return ZQ_T("\tResult:Is Fix\n");
        default:
            return ZQ_T("\tResult:Error\n");
    }
}

void CountResult(ScanResult result) {
    CountScan(ScanCounter::ImagesExamined);
    switch (result) {
        case ScanResult::Safe:
            CountScan(ScanCounter::Safe);
            break;
        case ScanResult::Fixed:
            CountScan(ScanCounter::Fixed);
            break;
        default:
            CountScan(ScanCounter::Error);
            break;
    }
}

}  // namespace

ReadAhead::ReadAhead(const SignatureList& signatures, Mode mode)
    : signatures_(signatures), readers_first_(mode == Mode::ReadersFirst) {
    lock_.Init();
    if (mode == Mode::Off) {
        return;
    }
    const uint32_t wanted =
        std::min(kMostReaders, std::max(kFewestReaders, 2 * platform::ProcessorCount()));
    if (StartReaders(wanted)) {
        capacity_ = std::min(kMostItems, kItemsPerReader * readers_.size());
    }
}

ReadAhead::~ReadAhead() {
    StopReaders();
}

bool ReadAhead::StartReaders(uint32_t count) {
    if (!work_.CreateManualReset() || !done_.CreateManualReset()) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        std::unique_ptr<platform::Thread> reader(new platform::Thread());
        if (!reader->Start(&ReadAhead::ReaderMain, this)) {
            break;  // as many as could be started
        }
        readers_.push_back(std::move(reader));
    }
    return !readers_.empty();
}

void ReadAhead::StopReaders() {
    if (readers_.empty()) {
        return;
    }
    {
        platform::LockHold hold(lock_);
        stopping_ = true;
        work_.Set();
    }
    for (const std::unique_ptr<platform::Thread>& reader : readers_) {
        reader->Wait();
    }
    readers_.clear();
}

uint32_t ReadAhead::ReaderMain(void* self) {
    static_cast<ReadAhead*>(self)->ReadLoop();
    return 0;
}

ReadAhead::Item* ReadAhead::TakeQueued() {
    // The first queued file no one has taken, from where the last look
    // ended.
    next_to_take_ = std::max(next_to_take_, front_number_);
    const uint64_t end = front_number_ + queue_.size();
    while (next_to_take_ < end) {
        Item& item = queue_[static_cast<size_t>(next_to_take_ - front_number_)];
        ++next_to_take_;
        if (item.kind == Kind::File && item.state == JobState::Queued) {
            item.state = JobState::Taken;
            return &item;
        }
    }
    return nullptr;
}

void ReadAhead::ReadLoop() {
    lock_.Enter();
    while (!stopping_) {
        Item* job = TakeQueued();
        if (job == nullptr) {
            // Reset only while nothing is queued: the main thread sets it
            // again under the lock once a batch of files is queued, and
            // examines any file queued meanwhile that no reader takes.
            work_.Reset();
            lock_.Leave();
            work_.Wait();
            lock_.Enter();
            continue;
        }
        lock_.Leave();
        ExamineImage(job->ref, nullptr, &job->exam);
        lock_.Enter();
        job->state = JobState::Done;
        done_.Set();
    }
    lock_.Leave();
}

ReadAhead::Item& ReadAhead::Push(Kind kind) {
    platform::LockHold hold(lock_);
    queue_.emplace_back();
    Item& item = queue_.back();
    item.kind = kind;
    item.begins_entry = next_begins_entry_;
    next_begins_entry_ = false;
    return item;
}

// After an item is complete: with the read-ahead off, or held back, it is
// done at once.
void ReadAhead::Handed() {
    if (readers_.empty() || inline_) {
        Drain();
    }
}

void ReadAhead::HoldBack(bool hold) {
    if (hold && !inline_) {
        Drain();
    }
    inline_ = hold;
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
    if (stopped_) {
        return;
    }
    {
        platform::LockHold hold(lock_);
        Item& item = Push(Kind::File);
        item.folder_length = folder.size();
        item.path.reserve(folder.size() + 1 + std::char_traits<PathChar>::length(name));
        item.path.assign(folder).append(1, ZQ_PATH_SEP).append(name);
        item.name.assign(name);
        item.ref = platform::FileRef(item.path.c_str());
        search.Locate(&item.ref);
        if (item.ref.name != nullptr) {
            item.ref.name = item.name.c_str();  // the listing's buffer moves on
        }
        item.listed_after = repairs_;
        // A file too small to be an image is never opened: nothing to read.
        item.state = size_low >= kMinImageSize ? JobState::Queued : JobState::Done;
        // The readers are woken for a batch of files, not for each: the
        // main thread examines a file no reader has taken itself.
        if (item.state == JobState::Queued && !readers_.empty() && !inline_ &&
            ++unsignalled_ >= kWakeBatch) {
            unsignalled_ = 0;
            work_.Set();
        }
    }
    Handed();
}

void ReadAhead::CloseFolder(platform::DirSearch search) {
    if (stopped_ || readers_.empty()) {
        return;  // closed here: nothing queued uses it
    }
    Item& item = Push(Kind::CloseFolder);
    item.folder.reset(new platform::DirSearch(std::move(search)));
}

bool ReadAhead::Full() const {
    return queue_.size() >= capacity_;
}

void ReadAhead::Drain() {
    while (!queue_.empty()) {
        DoNext();
    }
}

void ReadAhead::DoNext() {
    Item& item = queue_.front();
    if (item.begins_entry && platform::InterruptRequested()) {
        // Between two entries: nothing more is done.
        stopped_ = true;
    }
    if (!stopped_) {
        if (item.kind == Kind::File) {
            bool examine_here = false;
            {
                platform::LockHold hold(lock_);
                if (readers_first_ && !readers_.empty()) {
                    work_.Set();  // every file queued so far, not only a batch
                }
                while (readers_first_ && !readers_.empty() && !AllExamined()) {
                    done_.Reset();
                    lock_.Leave();
                    done_.Wait();
                    lock_.Enter();
                }
                if (item.state == JobState::Queued) {
                    item.state = JobState::Taken;  // no reader has it: examined here
                    examine_here = true;
                }
                while (!examine_here && item.state != JobState::Done) {
                    // While a reader has the next file, the main thread
                    // examines a later one no reader has taken yet, and
                    // waits only when there is none.
                    Item* later = TakeQueued();
                    if (later != nullptr) {
                        lock_.Leave();
                        ExamineImage(later->ref, nullptr, &later->exam);
                        lock_.Enter();
                        later->state = JobState::Done;
                        continue;
                    }
                    done_.Reset();
                    lock_.Leave();
                    done_.Wait();
                    lock_.Enter();
                }
            }
            if (examine_here) {
                ExamineImage(item.ref, nullptr, &item.exam);
                platform::LockHold hold(lock_);
                item.state = JobState::Done;
            }
        }
        Do(item);
    }
    platform::LockHold hold(lock_);
    if (stopped_) {
        // Dropped: a file a reader still has is left to it until the end.
        for (Item& queued : queue_) {
            while (queued.kind == Kind::File && queued.state == JobState::Taken) {
                done_.Reset();
                lock_.Leave();
                done_.Wait();
                lock_.Enter();
            }
        }
        front_number_ += queue_.size();
        queue_.clear();
        return;
    }
    queue_.pop_front();
    ++front_number_;
}

bool ReadAhead::AllExamined() const {
    for (const Item& item : queue_) {
        if (item.kind == Kind::File && item.state != JobState::Done) {
            return false;
        }
    }
    return true;
}

void ReadAhead::Do(Item& item) {
    switch (item.kind) {
        case Kind::Line:
            platform::PathText(item.path.c_str(), &shown_);
            g_Logger.WritePath(item.format, "ScanFolder", item.number, shown_.c_str());
            break;
        case Kind::SearchFailed:
            g_Logger.Write("[%s][%d]Call FindFirstFile failed: %d", "ScanFolder", 275,
                           static_cast<int>(item.code));
            break;
        case Kind::Count:
            CountScan(item.counter);
            break;
        case Kind::Progress:
            ScanProgressAt(item.path.c_str());
            break;
        case Kind::File:
            DoFile(item);
            break;
        case Kind::CloseFolder:
            item.folder.reset();
            break;
    }
}

void ReadAhead::DoFile(Item& item) {
    CountScan(ScanCounter::FilesSeen);
    progress_folder_.assign(item.path, 0, item.folder_length);
    ScanProgressAt(progress_folder_.c_str());
    // The shown form stays in shown_ for the file's console and result lines.
    platform::PathText(item.path.c_str(), &shown_);
    g_Logger.WritePath("[%s][%d]Start Scanning File:%s", "ScanFolder", 309, shown_.c_str());
    if (item.listed_after != repairs_) {
        // Listed before a file was handed to the repair: listed and examined
        // again, as the walk would have found it now.
        platform::RelistFile(&item.ref);
        item.exam = ImageExam();
        if (item.ref.listed_size_low >= kMinImageSize) {
            ExamineImage(item.ref, nullptr, &item.exam);
        }
    }
    ReportImageExam(item.exam);
    if (!item.exam.image) {
        g_Logger.Write("[%s][%d]Not PE-Type, no need to scan", "ScanFolder", 338);
        return;
    }
    ScanResult result = ScanResult::Error;
    DisinfectFile(item.ref, &result, signatures_, &item.exam.window);
    if (result != ScanResult::Safe) {
        ++repairs_;  // it may have been written
    }
    ScanProgressBeforeConsoleLine();
    platform::ConsoleWrite(ZQ_T("Path:"));
    platform::ConsoleWriteText(shown_);
    platform::ConsoleWrite(ResultText(result));
    platform::ConsoleFlush();
    g_Logger.WritePath("[%s][%d]Path:%s, Result:%d", "ScanFolder", 334, shown_.c_str(),
                       static_cast<int>(result));
    CountResult(result);
}
