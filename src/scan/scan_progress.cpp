// The progress shown while the walk runs.
#include "scan/scan_progress.h"

#include <cinttypes>
#include <cstdio>

#include "platform/monotonic_clock.h"

namespace {

platform::ProgressDisplay g_display;
ScanProgress g_progress(&g_display, &platform::MonotonicMilliseconds);

}  // namespace

std::string ScanProgressCounts(const ScanStats& stats) {
    char text[160];
    snprintf(text, sizeof(text), "%" PRIu64 " files, %" PRIu64 " images, %" PRIu64 " fixed, ",
             stats.files_seen, stats.images_examined, stats.fixed);
    std::string counts = text;
    // Infected images are those a check found, or those left for want of a
    // backup: shown once there is one.
    if (stats.infected > 0) {
        counts += std::to_string(stats.infected) + " infected, ";
    }
    return counts + std::to_string(stats.error) + " errors";
}

void ScanProgress::Start() {
    display_->Open(true);
    last_ = clock_();
}

void ScanProgress::At(const PathChar* folder) {
    if (!display_->IsOpen()) {
        return;
    }
    const uint32_t now = clock_();
    if (static_cast<uint32_t>(now - last_) < kProgressRefreshMs) {
        return;
    }
    last_ = now;
    display_->Show(ScanProgressCounts(CurrentScanStats()).c_str(), folder);
}

void ScanProgress::BeforeConsoleLine() {
    display_->BeforeConsoleOutput();
}

void ScanProgress::End() {
    display_->Close();
}

void StartScanProgress() {
    g_progress.Start();
}

void ScanProgressAt(const PathChar* folder) {
    g_progress.At(folder);
}

void ScanProgressBeforeConsoleLine() {
    g_progress.BeforeConsoleLine();
}

void EndScanProgress() {
    g_progress.End();
}
