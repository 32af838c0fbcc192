// Writes 1,000,000 lines through the process-wide logger, stops it, and
// checks that every line reached the file whole and in order. Prints the
// time of the writes and of the stop (the drain to disk), and, for scale,
// the time of the same lines written with fprintf + fflush each.
//
//   build/release/bench/log/log_million_bench
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "log/logger.h"
#include "platform/process_id.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kLines = 1000000;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// True when `text` holds exactly kLines lines ending in CR LF, the n-th
// ending in "line <n>".
bool AllLinesArrived(const std::string& text) {
    size_t start = 0;
    for (int n = 0; n < kLines; ++n) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            std::printf("only %d lines in the file\n", n);
            return false;
        }
        const std::string tail = "line " + std::to_string(n);
        if (end - start < tail.size() || text.compare(end - tail.size(), tail.size(), tail) != 0) {
            std::printf("line %d is wrong: %s\n", n, text.substr(start, end - start).c_str());
            return false;
        }
        start = end + 2;
    }
    if (start != text.size()) {
        std::printf("bytes after the last line\n");
        return false;
    }
    return true;
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() /
                         ("zqlogmillion-" + std::to_string(platform::CurrentProcessId()));
    fs::create_directories(dir);
    const fs::path log = dir / "ZQCindervane.log";

    if (g_Logger.Init(log.native().c_str()) != 1) {
        std::printf("the logger did not start\n");
        return 1;
    }
    const Clock::time_point start = Clock::now();
    for (int n = 0; n < kLines; ++n) {
        g_Logger.Write("[%s][%d]Scanned line %d", "ScanFolder", 123, n);
    }
    const double write_seconds = SecondsSince(start);
    g_Logger.Stop();
    const double total_seconds = SecondsSince(start);

    std::ifstream in(log, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const bool whole = AllLinesArrived(text);

    const fs::path plain = dir / "plain.log";
    std::FILE* out = std::fopen(plain.string().c_str(), "ab");
    const Clock::time_point plain_start = Clock::now();
    for (int n = 0; out != nullptr && n < kLines; ++n) {
        std::fprintf(out, "%d-%d-%d %02d:%02d:%02d %03d  [%s][%d]Scanned line %d\r\n", 2026, 12, 10,
                     12, 34, 56, 789, "ScanFolder", 123, n);
        std::fflush(out);
    }
    const double plain_seconds = SecondsSince(plain_start);
    if (out != nullptr) {
        std::fclose(out);
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);

    std::printf("lines: %d, all arrived whole and in order: %s\n", kLines, whole ? "yes" : "NO");
    std::printf("Logger: writes %.3f s, until Stop returned (all on disk) %.3f s\n", write_seconds,
                total_seconds);
    std::printf("fprintf+fflush per line: %.3f s\n", plain_seconds);
    std::printf("ratio logger total / fprintf+fflush: %.3f; logger writes only: %.3f\n",
                total_seconds / plain_seconds, write_seconds / plain_seconds);
    return whole ? 0 : 1;
}
