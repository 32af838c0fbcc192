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
//   is listed and examined again when its turn comes, so a second hard link
//   to a repaired file is seen as repaired, as in a walk that does one thing
//   at a time.
// - An image test that failed to map or read on a reader is tried again on
//   the main thread alone before its failure is reported (a reader's view
//   may have failed for want of address space that the others held).
//
// An interrupt is taken between two entries of the walk. The main thread
// never waits for a reader once one arrived: the readers are left to end
// on their own (a slow or failing disk may hold one for long), with
// everything they use, and the ending is written at once.
//
// With the read-ahead off (no readers, no look-ahead) each thing is done
// the moment the walk hands it over, on the main thread. The number of
// readers and the look-ahead follow the processor count within fixed
// bounds, so the memory the queue takes does not depend on the tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/dir_search.h"
#include "platform/event.h"
#include "platform/file_ref.h"
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
    // `folder`, listed with `size_low`, within the size limit and with a
    // path that fits: counted, its line 309 logged, examined and, when it is
    // an image, disinfected, printed and logged.
    void File(const PathString& folder, const PathChar* name, const platform::DirSearch& search,
              uint32_t size_low);
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
    // While held back, everything handed over is done at once on the main
    // thread (after what is queued), as with the read-ahead off: for a walk
    // deeper than the folders it keeps open, whose levels must be given
    // back and reopened in the walk's own time.
    void HoldBack(bool hold);

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
        // A file: its folder's length within `path`, its reference, the
        // repairs done when it was listed, and its exam.
        size_t folder_length = 0;
        platform::FileRef ref{nullptr};
        uint64_t listed_after = 0;
        JobState state = JobState::Done;
        bool awaited = false;  // the main thread waits for it (see awaited_left)
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
        // The queue's order and the files' states (the items themselves do
        // not move while queued).
        std::deque<Item> queue;
        uint64_t front_number = 0;  // the queue's first item's number
        uint64_t next_to_take = 0;  // where the readers look for work
        bool stopping = false;
        bool paused = false;        // readers take nothing new
        uint32_t examining = 0;     // files readers hold now
        uint32_t unsignalled = 0;   // files queued since the readers were last woken
        uint32_t awaited_left = 0;  // awaited files not done yet: `done` is set at 0
        platform::Event work;       // set while a queued file waits for a reader
        platform::Event done;       // set when what the main thread waits for is done
        std::vector<std::unique_ptr<platform::DirSearch>> kept;
    };
    struct ReaderStart;

    Item& Push(Kind kind);
    void Handed();
    void Do(Item& item);
    // Waits until `item`'s exam is done; false when an interrupt came
    // first.
    bool AwaitExam(Item& item);
    // Waits until the first `count` queued files (all, for SIZE_MAX) are
    // examined; false when an interrupt came first and `interruptible`.
    bool AwaitFiles(size_t count, bool interruptible);
    // Takes the first queued file no one has taken (under the lock); null
    // when there is none or the readers are paused.
    static Item* TakeQueued(Shared& shared);
    // How a wait waits: a reader sleeps at once; the main thread looks at
    // the event for a moment first, and in an interruptible wait sleeps in
    // short slices, looking for an interrupt between them.
    enum class Wait { Sleep, Spin, Interruptible };
    // Under the lock: resets `event`, leaves the lock, waits for `event`
    // and enters again. False when an interrupt arrived first
    // (Wait::Interruptible only).
    static bool WaitLocked(Shared& shared, platform::Event& event, Wait how);
    // Stops the readers taking new files and waits until none holds one;
    // false (readers still paused) when an interrupt came first and
    // `interruptible`.
    bool PauseReaders(bool interruptible);
    void ResumeReaders();
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
    bool inline_ = false;   // held back (HoldBack)
    bool paused_ = false;   // the main thread paused the readers
    uint64_t repairs_ = 0;  // files handed to the flow beyond a clean check

    std::shared_ptr<Shared> shared_;
    std::vector<std::unique_ptr<platform::Thread>> readers_;
};
