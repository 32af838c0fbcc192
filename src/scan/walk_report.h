// What the walk reports, in the walk's order: the log lines that carry a
// path, a listing that could not be opened, the counts and the progress, and
// for each file its lines (309, the image test's failure line or its line
// for a file in use (277), or, listed again, not local (299) or a link (294),
// then 338, or the disinfection with the console line and line 334). The
// read-ahead (read_ahead.h) hands every queued thing here, on the walk's
// thread, in the walk's order, whether files are read ahead or not: a new
// line of the walk belongs here, reached through the queue, so that it comes
// out in its place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/file_ref.h"
#include "platform/types.h"
#include "quarantine/disinfect_file.h"
#include "scan/image_exam.h"
#include "scan/scan_options.h"
#include "scan/scan_stats.h"

class WalkReport {
  public:
    explicit WalkReport(const ScanOptions& options) : options_(options) {}
    WalkReport(const WalkReport&) = delete;
    WalkReport& operator=(const WalkReport&) = delete;

    // Logs `format` with "ScanFolder", `number` and `path` in its shown form.
    void PathLine(const char* format, int number, const PathString& path);
    // Logs line 275 with `code`.
    void SearchFailed(OsError code);
    void Count(ScanCounter counter);
    // The walk is in `folder`.
    void Progress(const PathString& folder);

    // The file `ref` names (its path `ref.path`, whose first `folder_length`
    // characters are its folder), as the image test found it (`exam`):
    // counted, its line 309 logged, the test's failure reported, and an
    // image disinfected (DisinfectFile with `before_changes`), printed and
    // logged. True when the file may have been written (an image the check
    // did not find clean).
    bool File(platform::FileRef& ref, size_t folder_length, const ImageExam& exam,
              const std::function<void()>& before_changes);

    // Nothing is written to any file (ScanOptions::check_only).
    bool CheckOnly() const { return options_.check_only; }

  private:
    const ScanOptions options_;
    std::string shown_;  // the shown form of the path in hand
    PathString folder_;  // the folder of the file in hand
};
