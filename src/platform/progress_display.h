// A progress display beside the console's output, which it never changes:
// the console window's title on Windows (the title it had is restored when
// the display closes); on POSIX one line on standard error, rewritten in
// place, only when standard error is a terminal (cleared when the display
// closes and whenever console output is about to follow).
#pragma once

#include "platform/types.h"

namespace platform {

class ProgressDisplay {
  public:
    ProgressDisplay() = default;
    ~ProgressDisplay() { Close(); }
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // Starts showing. False, and nothing is ever shown, where there is no
    // place for it: no console title to replace, or standard error not a
    // terminal. `console_midline`: the console output so far ended without
    // a line break (the status line then starts on a line of its own).
    bool Open(bool console_midline);
    bool IsOpen() const { return open_; }
    // Shows `counts` (ASCII text) and the folder being walked, replacing
    // what was shown before. Characters that would steer a terminal are
    // shown as "?"; the line is cut to the terminal's width.
    void Show(const char* counts, const PathChar* folder);
    // Console output follows: the status line is cleared (POSIX) so that the
    // output starts at the beginning of a line of its own; the next Show
    // draws it again. Nothing on Windows, where the title is elsewhere.
    void BeforeConsoleOutput();
    // Ends the display: the line cleared, or the title restored.
    void Close();

  private:
    bool open_ = false;
    bool shown_ = false;                       // POSIX: a status line is on the terminal
    bool output_midline_ = false;              // POSIX: console output ended without a line break
    [[maybe_unused]] PathString saved_title_;  // Windows: the title to restore
};

}  // namespace platform
