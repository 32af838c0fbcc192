// The exit status and the operator's lines on standard error.
#include "app/run_outcome.h"

int CheckExitStatus(const ScanStats& stats, bool nothing_scanned) {
    if (nothing_scanned || stats.error > 0 || stats.unreadable > 0) {
        return kExitNotExamined;
    }
    return stats.infected > 0 ? kExitInfected : kExitDone;
}

std::string NoRootsLine(const std::string& reason) {
    return "ZQCindervane: nothing scanned: " + reason;
}

std::string UnlistedRootLine(const std::string& shown_root) {
    return "ZQCindervane: " + (shown_root.empty() ? std::string("/") : shown_root) +
           " could not be listed, nothing on it was scanned (the log says why)";
}

std::string ClosingLine(const ScanStats& stats, bool check_only, const std::string& shown_log) {
    std::string line = "ZQCindervane: " + std::to_string(stats.images_examined) + " examined, ";
    if (check_only) {
        line += std::to_string(stats.infected) + " infected (nothing repaired), ";
    } else {
        line += std::to_string(stats.fixed) + " repaired, ";
    }
    line += std::to_string(stats.error + stats.unreadable) + " errors, ";
    line += std::to_string(stats.not_scanned + stats.folders_unlisted) + " not scanned; ";
    line += shown_log.empty() ? std::string("no log") : "log: " + shown_log;
    return line;
}
