// The exit status and the operator's lines on standard error.
#include "app/run_outcome.h"

int CheckExitStatus(const ScanStats& stats, bool nothing_scanned) {
    if (nothing_scanned || stats.error > 0 || stats.unreadable > 0 || stats.folders_unlisted > 0) {
        return kExitNotExamined;
    }
    return stats.infected > 0 ? kExitInfected : kExitDone;
}

int RepairExitStatus(const ScanStats& stats) {
    return stats.infected > 0 ? kExitNotRepaired : kExitDone;
}

std::string NoRootsLine(const std::string& reason) {
    return "ZQCindervane: nothing scanned: " + reason;
}

std::string UnlistedRootLine(const std::string& shown_root) {
    return "ZQCindervane: " + (shown_root.empty() ? std::string("/") : shown_root) +
           " could not be listed, nothing on it was scanned (the log says why)";
}

std::string ClosingLine(const ScanStats& stats, bool check_only, const LogOutcome& log,
                        const std::string& backup_reason) {
    const std::string no_backup = "no backup kept: " + backup_reason;
    std::string line = "ZQCindervane: " + std::to_string(stats.images_examined) + " examined, ";
    if (check_only) {
        line += std::to_string(stats.infected) + " infected (nothing repaired), ";
    } else {
        line += std::to_string(stats.fixed) + " repaired";
        if (stats.fixed_without_backup > 0) {
            line += stats.fixed_without_backup == stats.fixed
                        ? " (" + no_backup + ")"
                        : " (" + std::to_string(stats.fixed_without_backup) + " with " + no_backup +
                              ")";
        }
        line += ", ";
        if (stats.infected > 0) {
            line += std::to_string(stats.infected) + " left infected (" + no_backup + "), ";
        }
    }
    line += std::to_string(stats.error + stats.unreadable) + " errors, ";
    line += std::to_string(stats.not_scanned + stats.folders_unlisted) + " not scanned; ";
    if (log.shown_path.empty() || !log.written) {
        line += "no log";
    } else {
        line += (log.complete ? "log: " : "log incomplete: ") + log.shown_path;
    }
    return line;
}

std::string NamedPathLine(const std::string& shown_path, bool not_folder, uint32_t code) {
    return "ZQCindervane: cannot scan " + shown_path + ": " +
           (not_folder ? std::string("it is not a folder")
                       : "it could not be found (error " + std::to_string(code) + ")");
}
