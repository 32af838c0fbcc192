// The walk's ordered read-ahead: a queue and its reader threads. The walk
// hands everything it has to do, in its own order, to this queue: log
// lines, counts, progress, the folders it has finished with, and each file
// to examine. Reader threads examine the queued files ahead (the image test
// and the digest of the signature window, which only read, on handles of
// their own); the main thread takes the queue strictly in order and hands
// each thing to the walk's report (walk_report.h), which does every effect:
// the console line, the log lines (a reader's failure line among them, at
// the place it would have had), the counts, the quarantine call and the
// repair, which verifies the file again on its own handle.
//
// Three rules keep the readers out of the effects' way:
// - A file is backed up and repaired only while no reader holds any file
//   open or mapped: the readers finish what they examine and take nothing
//   new until the file's effects are done. (On Windows a mapping of a hard
//   link's twin makes the cut fail, and a quarantine library may open the
//   file exclusively.)
// - A result read ahead is as fresh as the file was when the walk listed
//   it. After a file has been handed to the disinfection flow beyond a clean
//   check (it may have been written), every file listed before that moment
//   is listed and examined again by the readers before its turn comes, so a
//   second hard link to a repaired file is seen as repaired, as in a walk
//   that does one thing at a time.
// - An image test whose mapping or view failed for want of memory or
//   address space (IsResourceError) is tried once more by one reader while
//   the others hold nothing, before its failure is reported. Any other
//   failure (a disk's in-page error, a failed read) is reported as it came.
//
// The main thread opens no file and asks nothing of a file while readers
// run: a file entry the listing names a plain file (POSIX: by its d_type) is
// handed over as it is, and its reader asks what it is, its size and its
// mount; the main thread applies the size and mount rules to that answer in
// the walk's order. Only the folders' listings stay on the main thread.
//
// An interrupt is taken between two entries, and looked for once more right
// before a file's first line. Every wait of the main thread before that
// line is interruptible (for a reader, for paused readers, for a retry or a
// second look after a repair); an interrupted pause leaves the readers
// paused. The main thread never waits for a reader once an interrupt
// arrived: the readers are left to end on their own (a slow or failing
// disk may hold one for long), with everything they use, and the ending is
// written at once.
//
// With the read-ahead off (no readers, no look-ahead) each thing is done
// the moment the walk hands it over, on the main thread. The number of
// readers and the look-ahead follow the processor count within fixed
// bounds, so the memory the queue takes does not depend on the tree: the
// queue's items are one ring allocated up front and used again, with the
// strings they hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/dir_search.h"
#include "platform/event.h"
#include "platform/file_ref.h"
#include "platform/page_batch.h"
#include "platform/reentrant_lock.h"
#include "platform/thread.h"
#include "platform/types.h"
#include "scan/image_exam.h"
#include "scan/scan_options.h"
#include "scan/scan_stats.h"
#include "scan/walk_report.h"

class ReadAhead {
  public:
    enum class Mode {
        Off,
        On,
        // For tests (builds with the tests only; On elsewhere): the main
        // thread takes a queued thing only once the readers have examined
        // every file queued so far, as a fast disk and a busy main thread
        // would have it.
        ReadersFirst,
    };

    ReadAhead(const ScanOptions& options, Mode mode);
    // Stops the readers. After an interrupt they are not waited for: they
    // end on their own, and what they use lives until the last has ended.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The things the walk hands over. The first one handed over for an
    // entry of a folder follows BeginEntry: an interrupt is taken only
    // there, between two entries.
    void BeginEntry();
    // Logs `format` with "ScanFolder", `number` and `path` in its shown form.
    void PathLine(const char* format, int number, const PathString& path);
    // Logs line 275 with `code`.
    void SearchFailed(OsError code);
    void Count(ScanCounter counter);
    // ScanProgressAt(`folder`).
    void Progress(const PathString& folder);
    // The file entry that `search` stands on, `name` in the folder
    // `folder`, listed with `size_low`, within the size limit and local:
    // counted, its line 309 logged, examined and, when it is an image,
    // disinfected, printed and logged; a path too long is passed over (line
    // 313).
    void File(const PathString& folder, const PathChar* name, const platform::DirSearch& search,
              uint32_t size_low);
    // The entry that `search` stands on, which the listing names a plain file
    // (DirSearch::IsListedFile): asked what it is by a reader, then handled
    // as File, or passed over as the walk passes over a mount (line 298), a
    // file over the size limit, or an entry gone meanwhile.
    void ListedFile(const PathString& folder, const PathChar* name,
                    const platform::DirSearch& search);
    // A search the walk has finished with: closed in its turn, after every
    // file queued through it.
    void CloseFolder(platform::DirSearch search);
    // After an interrupt: a search the walk still held open, kept until no
    // reader can read through it any more.
    void KeepOpenForReaders(platform::DirSearch search);

    // Whether the walk should hand over nothing more before the queue has
    // been worked down.
    bool Full() const;
    // Nothing is queued, or nothing more will be done.
    bool Empty() const;
    // Does the next queued thing (waiting for its reader if need be).
    void DoNext();
    // Does everything queued, up to an interrupt.
    void Drain();
    // An interrupt was taken: nothing more is done.
    bool Stopped() const { return stopped_; }

  private:
    enum class Kind { Line, SearchFailed, Count, Progress, File, CloseFolder };
    enum class JobState { Queued, Taken, Done };

    struct Item {
        Kind kind = Kind::Count;
        bool begins_entry = false;
        const char* format = nullptr;
        int number = 0;
        ScanCounter counter = ScanCounter::FilesSeen;
        OsError code = 0;
        PathString path;  // the line's path, the folder of the progress, the file's path
        // A file: its folder's length within `path`, its reference and what
        // it is (asked by its reader when the listing did not say).
        size_t folder_length = 0;
        platform::FileRef ref{nullptr};
        bool queried = false;
        platform::EntryKind entry = platform::EntryKind::File;
        // The repairs done when what `ref` holds was listed, and when its
        // exam began: a result older than the last repair is not used.
        uint64_t listed_at = 0;
        uint64_t examined_at = 0;
        JobState state = JobState::Done;
        bool awaited = false;  // the main thread waits for it (see awaited_left)
        bool retry = false;    // failed for want of room: to be tried again alone
        bool retried = false;
        ImageExam exam;
        std::unique_ptr<platform::DirSearch> folder;
    };

    // What the main thread shares with the readers, under `lock`. It lives
    // until the walk and every reader are done with it: after an interrupt
    // the readers may outlive the walk.
    struct Shared {
        Shared();
        ~Shared();
        const SignatureList* signatures = nullptr;
        platform::ReentrantLock lock;
        // The queue: `count` items of `ring` from `head`, in order (an item
        // does not move while queued).
        std::vector<Item> ring;
        size_t head = 0;
        size_t count = 0;
        uint64_t front_number = 0;  // the queue's first item's number
        uint64_t next_to_take = 0;  // where the readers look for work
        uint64_t repairs = 0;       // files handed to the flow beyond a clean check
        bool stopping = false;
        bool paused = false;        // readers take nothing new...
        Item* alone = nullptr;      // ...but this one, once none holds a file
        uint32_t examining = 0;     // files readers hold now
        uint32_t unsignalled = 0;   // files queued since the readers were last woken
        uint32_t awaited_left = 0;  // awaited files not done yet: `done` is set at 0
        platform::Event work;       // set while a queued file waits for a reader
        platform::Event done;       // set when what the main thread waits for is done
        platform::Event resumed;    // set when paused readers may go on
        std::vector<std::unique_ptr<platform::DirSearch>> kept;

        Item& At(size_t index) { return ring[(head + index) % ring.size()]; }
    };
    struct ReaderStart;

    Item& Push(Kind kind);
    void PopFront();
    void QueueFile(const PathString& folder, const PathChar* name,
                   const platform::DirSearch& search, bool queried, uint32_t size_low);
    void Handed();
    void Do(Item& item);
    // Waits until `item`'s exam is done (examining it here when there is
    // no reader); false when an interrupt came first.
    bool AwaitExam(Item& item);
    // Waits until the first `count` queued files (all, for SIZE_MAX) are
    // examined; false when an interrupt came first and `interruptible`.
    bool AwaitFiles(size_t count, bool interruptible);
    // Takes the first queued file no one has taken (under the lock); null
    // when there is none or the readers are paused.
    static Item* TakeQueued(Shared& shared);
    // Under the lock: what a file's exam needs before it begins.
    static void BeginExam(Shared& shared, Item& job, bool* relist);
    // Outside the lock: asks what the file is (or lists it again); true
    // when it is to be examined.
    static bool PrepareExam(Item& job, bool relist);
    // Outside the lock: the digest of an examined image's window, and
    // whether a failure is to be tried again.
    static void FinishExam(Item& job, const SignatureList& signatures);
    // Outside the lock: PrepareExam, the image test, FinishExam.
    static void ExamineFile(Item& job, bool relist, const SignatureList& signatures);
    // A reader's files taken at once, and its ring.
    struct Batch {
        platform::PageBatch ring;
        std::unique_ptr<uint8_t[]> pages;  // a page per file, while the ring runs
        Item* jobs[platform::PageBatch::kMostFiles] = {};
        bool relist[platform::PageBatch::kMostFiles] = {};
        size_t count = 0;
        bool held = false;  // its files counted as held from the start
    };
    // Outside the lock, for a file of a batch not held from the start that
    // is to be opened on its own: waits while the readers are paused, then
    // counts it held; false once the readers are stopping.
    static bool HoldForFile(Shared& shared, const Batch& batch);
    static void ReleaseFile(Shared& shared, const Batch& batch);
    // Outside the lock: the batch's files, their first pages read through
    // the ring when it runs, each examined from its page or on its own.
    static void ExamineBatch(Shared& shared, Batch& batch);
    // Whether readers use the ring (not while a test counts per-file calls).
    static bool RingWanted();
    // Under the lock: the end of a reader's exam.
    static void EndExam(Shared& shared, Item& job);
    // Under the lock: resets `event`, leaves the lock, waits for `event`
    // and enters again. False when an interrupt arrived first
    // (`interruptible` only).
    static bool WaitLocked(Shared& shared, platform::Event& event, bool interruptible);
    // Stops the readers taking new files and waits until none holds one;
    // false (readers still paused) when an interrupt came first and
    // `interruptible`.
    bool PauseReaders(bool interruptible);
    void ResumeReaders();
    // `item`'s exam, which failed for want of room, tried again by one
    // reader while the others hold nothing; false when an interrupt came
    // first (the readers then stay paused).
    bool RetryAlone(Item& item);
    // After a file that may have been written: every file queued behind it
    // is listed and examined again.
    void ExamineQueuedAgain();
    void DoFile(Item& item);
    void Stop();
    bool StartReaders(uint32_t count);
    static uint32_t ReaderMain(void* start);
    static void ReadLoop(Shared& shared);
    bool HasReaders() const { return !readers_.empty(); }

    WalkReport report_;
    bool readers_first_ = false;
    size_t capacity_ = 1;
    bool next_begins_entry_ = false;
    bool stopped_ = false;
    bool paused_ = false;  // the main thread paused the readers

    std::shared_ptr<Shared> shared_;
    std::vector<std::unique_ptr<platform::Thread>> readers_;
};
