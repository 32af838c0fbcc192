// The logger run on a fresh file for one test, and the log line layout read back.
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <cctype>

#include "log/logger.h"

namespace testsupport {

namespace {

// Reads a number of `min_digits` to `max_digits` digits at `*pos`, with no
// leading zero unless `padded`, and checks its range.
bool ReadNumber(const std::string& text, size_t* pos, size_t min_digits, size_t max_digits,
                bool padded, int low, int high) {
    size_t end = *pos;
    while (end < text.size() && end - *pos < max_digits &&
           std::isdigit(static_cast<unsigned char>(text[end]))) {
        ++end;
    }
    const size_t digits = end - *pos;
    if (digits < min_digits || (!padded && digits > 1 && text[*pos] == '0')) {
        return false;
    }
    const int value = std::stoi(text.substr(*pos, digits));
    if (value < low || value > high) {
        return false;
    }
    *pos = end;
    return true;
}

bool Expect(const std::string& text, size_t* pos, const char* literal) {
    const std::string expected(literal);
    if (text.compare(*pos, expected.size(), expected) != 0) {
        return false;
    }
    *pos += expected.size();
    return true;
}

}  // namespace

LogCapture::LogCapture() : file_(dir_.Path() / "ZQCindervane.log") {
    if (g_Logger.Init(file_.native().c_str()) != 1) {
        ADD_FAILURE() << "the logger did not start on " << file_.string();
    }
}

LogCapture::~LogCapture() {
    g_Logger.Stop();
}

std::vector<std::string> LogCapture::Lines() {
    g_Logger.Stop();
    std::vector<std::string> messages;
    if (!std::filesystem::exists(file_)) {
        return messages;
    }
    bool whole = true;
    for (const std::string& line : SplitCrLfLines(ReadText(file_), &whole)) {
        std::string stamp;
        std::string message;
        if (SplitLogLine(line, &stamp, &message)) {
            messages.push_back(message);
        } else {
            ADD_FAILURE() << "log line without a well-formed timestamp: \"" << line << "\"";
            messages.push_back(line);
        }
    }
    if (!whole) {
        ADD_FAILURE() << "the log's last line does not end in CR LF";
    }
    return messages;
}

bool SplitLogLine(const std::string& line, std::string* timestamp, std::string* message) {
    size_t pos = 0;
    const bool ok = ReadNumber(line, &pos, 1, 5, false, 1601, 30827) && Expect(line, &pos, "-") &&
                    ReadNumber(line, &pos, 1, 2, false, 1, 12) && Expect(line, &pos, "-") &&
                    ReadNumber(line, &pos, 1, 2, false, 1, 31) && Expect(line, &pos, " ") &&
                    ReadNumber(line, &pos, 2, 2, true, 0, 23) && Expect(line, &pos, ":") &&
                    ReadNumber(line, &pos, 2, 2, true, 0, 59) && Expect(line, &pos, ":") &&
                    ReadNumber(line, &pos, 2, 2, true, 0, 60) && Expect(line, &pos, " ") &&
                    ReadNumber(line, &pos, 3, 3, true, 0, 999) && Expect(line, &pos, "  ");
    if (!ok) {
        return false;
    }
    *timestamp = line.substr(0, pos);
    *message = line.substr(pos);
    return true;
}

std::vector<std::string> SplitCrLfLines(const std::string& text, bool* whole) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    if (whole != nullptr) {
        *whole = start == text.size();
    }
    return lines;
}

}  // namespace testsupport
