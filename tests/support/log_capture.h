// Runs the process-wide logger on a fresh file for the length of a test and
// hands back what it wrote.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace testsupport {

class LogCapture {
  public:
    // Starts g_Logger (Init) on a new file in a fresh temporary folder.
    LogCapture();
    // Stops g_Logger if it still runs and removes the file and its folder.
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Stops g_Logger, which writes every line accepted so far, and returns
    // the message part of each line in order: its timestamp and the two
    // spaces after it, and the CR LF, removed. A line without a well-formed
    // timestamp or CR LF fails the test and is returned as it is.
    std::vector<std::string> Lines();
    const std::filesystem::path& File() const { return file_; }

  private:
    TempDir dir_;
    std::filesystem::path file_;
};

// Splits one log line (without its CR LF) into its timestamp, checked
// against the layout "<year>-<month>-<day> HH:MM:SS mmm  " (month and day
// without leading zeros, time fields padded, two spaces at the end), and its
// message. False when the line does not begin with such a timestamp.
bool SplitLogLine(const std::string& line, std::string* timestamp, std::string* message);

// The file's lines split at CR LF, the line ends removed. A last piece
// without CR LF is returned too; `*whole` (optional) tells whether every line
// ended in CR LF.
std::vector<std::string> SplitCrLfLines(const std::string& text, bool* whole = nullptr);

}  // namespace testsupport
