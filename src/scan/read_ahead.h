// The walk's ordered read-ahead. The walk hands everything it has to do, in
// its own order, to this queue: log lines, counts, progress, the folders it
// has finished with, and each file to examine. Reader threads examine the
// queued files ahead (the image test, which only reads, on handles of their
// own); the main thread takes the queue strictly in order and does every
// effect itself: the console line, the log lines (a reader's failure line
// among them, at the place it would have had), the counts, the quarantine
// call and the repair, which verifies the file again on its own handle.
//
// A result read ahead is as fresh as the file was when the walk listed it.
// After the main thread has handed a file to the disinfection flow beyond a
// clean check (it may have been written), every file listed before that
// moment is listed and examined again when its turn comes, so a second
// hard link to a repaired file is seen as repaired, as in a walk that does
// one thing at a time.
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
#include <string>
#include <vector>

#include "infect/infection_signatures.h"
#include "platform/dir_search.h"
#include "platform/event.h"
#include "platform/file_ref.h"
#include "platform/reentrant_lock.h"
#include "platform/thread.h"
#include "platform/types.h"
#include "scan/image_exam.h"
#include "scan/scan_stats.h"

class ReadAhead {
  public:
    enum class Mode {
        Off,
        On,
        // For tests: the main thread takes a queued thing only once the
        // readers have examined every file queued so far, as a fast disk
        // and a busy main thread would have it.
        ReadersFirst,
    };

    ReadAhead(const SignatureList& signatures, Mode mode);
    // Stops the readers; what is still queued is dropped.
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

    // Whether the walk should hand over nothing more before the queue has
    // been worked down.
    bool Full() const;
    bool Empty() const { return queue_.empty(); }
    // Does the next queued thing (waiting for its reader if need be).
    void DoNext();
    // Does everything queued.
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
        // A file: its folder's length within `path`, its name, its
        // reference, the repairs done when it was listed, and its exam.
        size_t folder_length = 0;
        PathString name;
        platform::FileRef ref{nullptr};
        uint64_t listed_after = 0;
        JobState state = JobState::Done;
        ImageExam exam;
        std::unique_ptr<platform::DirSearch> folder;
    };

    Item& Push(Kind kind);
    void Handed();
    void Do(Item& item);
    bool AllExamined() const;
    // Takes the first queued file no one has taken (under lock_); null when
    // there is none.
    Item* TakeQueued();
    void DoFile(Item& item);
    bool StartReaders(uint32_t count);
    void StopReaders();
    static uint32_t ReaderMain(void* self);
    void ReadLoop();

    const SignatureList& signatures_;
    bool readers_first_ = false;
    size_t capacity_ = 1;
    bool next_begins_entry_ = false;
    bool stopped_ = false;
    uint64_t repairs_ = 0;  // files handed to the flow beyond a clean check
    std::string shown_;
    PathString progress_folder_;

    // Shared with the readers, under lock_: the queue's order and the
    // files' states (the items themselves do not move while queued). The
    // lock, like every ReentrantLock, is never torn down; it holds no
    // memory of its own on POSIX and one critical section on Windows.
    platform::ReentrantLock lock_;
    std::deque<Item> queue_;
    uint64_t front_number_ = 0;  // the queue's first item's number
    uint64_t next_to_take_ = 0;  // where the readers look for work
    bool stopping_ = false;
    bool inline_ = false;       // held back (HoldBack)
    uint32_t unsignalled_ = 0;  // files queued since the readers were last woken
    platform::Event work_;      // set while a queued file waits for a reader
    platform::Event done_;      // set when a reader has finished a file
    std::vector<std::unique_ptr<platform::Thread>> readers_;
};
