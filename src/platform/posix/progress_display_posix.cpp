// The progress display on POSIX: one line on standard error, drawn with a
// carriage return and erased to its end, only while standard error is a
// terminal. Path bytes that could steer the terminal (control characters,
// C1 controls, bytes that are not UTF-8) are shown as "?", and the line is
// cut to the terminal's width so that it never wraps.
#include <langinfo.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

#include "platform/progress_display.h"

namespace platform {

namespace {

constexpr const char* kClearLine = "\r\x1b[K";

// The length of the UTF-8 sequence at `text` that encodes a printable code
// point (not U+0080..U+009F), or 0.
size_t PrintableUtf8Length(const unsigned char* text, size_t available) {
    const unsigned char lead = text[0];
    size_t length = 0;
    uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (length > available) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((text[i] & 0xC0u) != 0x80u) {
            return 0;
        }
        code = (code << 6) | (text[i] & 0x3Fu);
    }
    const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
        (code >= 0x80 && code <= 0x9F)) {
        return 0;
    }
    return length;
}

// `folder` as it may be written to the terminal: printable ASCII, and under
// a UTF-8 locale printable UTF-8 characters; every other byte becomes "?".
std::string SafeText(const char* folder, bool utf8) {
    std::string safe;
    const unsigned char* text = reinterpret_cast<const unsigned char*>(folder);
    const size_t size = strlen(folder);
    for (size_t at = 0; at < size;) {
        if (text[at] >= 0x20 && text[at] < 0x7F) {
            safe.push_back(static_cast<char>(text[at]));
            ++at;
            continue;
        }
        const size_t length = utf8 ? PrintableUtf8Length(text + at, size - at) : 0;
        if (length == 0) {
            safe.push_back('?');
            ++at;
        } else {
            safe.append(folder + at, length);
            at += length;
        }
    }
    return safe;
}

// Characters (not bytes) of UTF-8 text, each taken as one column (a wide
// character takes two, so such a line may still be cut by the terminal).
size_t CharacterCount(const std::string& text) {
    size_t count = 0;
    for (const char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
    }
    return count;
}

// The last `keep` characters of `text`.
std::string LastCharacters(const std::string& text, size_t keep) {
    size_t count = 0;
    size_t at = text.size();
    while (at > 0 && count < keep) {
        --at;
        if ((static_cast<unsigned char>(text[at]) & 0xC0u) != 0x80u) {
            ++count;
        }
    }
    return text.substr(at);
}

size_t TerminalColumns() {
    struct winsize size;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

}  // namespace

bool ProgressDisplay::Open(bool console_midline) {
    Close();
    if (!isatty(STDERR_FILENO)) {
        return false;
    }
    open_ = true;
    shown_ = false;
    // Only console output on a terminal shares the screen with the line.
    output_midline_ = console_midline && isatty(STDOUT_FILENO);
    return true;
}

void ProgressDisplay::Show(const char* counts, const PathChar* folder) {
    if (!open_) {
        return;
    }
    fflush(stdout);  // the console's text first, where both share a terminal
    std::string line;
    if (output_midline_) {
        line = "\n";  // the console's line stays as it is; ours goes below
        output_midline_ = false;
    }
    const bool utf8 = strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    const std::string head = std::string(counts) + "  ";
    const std::string tail = SafeText(folder, utf8);
    // One column is left free, so the cursor never wraps onto a new line.
    const size_t room = TerminalColumns() - 1;
    line += "\r";
    if (CharacterCount(head) >= room) {
        line += head.substr(0, room);
    } else if (CharacterCount(head) + CharacterCount(tail) <= room) {
        line += head + tail;
    } else if (room - CharacterCount(head) > 3) {
        line += head + "..." + LastCharacters(tail, room - CharacterCount(head) - 3);
    } else {
        line += head;
    }
    line += "\x1b[K";
    fputs(line.c_str(), stderr);
    fflush(stderr);
    shown_ = true;
}

void ProgressDisplay::BeforeConsoleOutput() {
    output_midline_ = false;  // what follows is a whole line
    if (open_ && shown_) {
        fputs(kClearLine, stderr);
        fflush(stderr);
        shown_ = false;
    }
}

void ProgressDisplay::Close() {
    BeforeConsoleOutput();
    open_ = false;
}

}  // namespace platform
