// ScanFolder: the depth-first walk. The walk keeps an explicit stack of open
// levels, each with its folder path, its open search and its identity, so
// the order is that of a recursive walk: a sub-folder is walked completely,
// when its entry is met, before the next entry of its parent is read.
#include "scan/scan_folder.h"

#include <memory>
#include <string>
#include <vector>

#include "log/logger.h"
#include "platform/console.h"
#include "platform/dir_search.h"
#include "platform/windows_dir.h"
#include "quarantine/disinfect_file.h"
#include "scan/comm_func.h"
#include "scan/windows_dir_rule.h"

namespace {

constexpr size_t kSearchTextChars = 4096;  // a folder's search pattern, terminator included
constexpr size_t kFilePathChars = ZQ_FILE_PATH_CHARS;
constexpr uint32_t kSizeLimit = 104857600;

struct Level {
    PathString path;  // the folder, never ending with a separator
    platform::DirSearch search;
    platform::FolderId id;
    bool has_id = false;
    bool entry_handled = false;  // the current entry is done: read the next one first
};

using Levels = std::vector<std::unique_ptr<Level>>;

size_t Length(const PathChar* text) {
    return std::char_traits<PathChar>::length(text);
}

const PathChar* ResultText(ScanResult result) {
    switch (result) {
        case Safe:
            return ZQ_T("\tResult:Safe\n");
        case Fixed:
            return ZQ_T("\tResult:Is Fix\n");
        default:
            return ZQ_T("\tResult:Error\n");
    }
}

// Scratch texts of one walk, reused for every entry.
struct Scratch {
    PathString text;  // search pattern or sub-folder path
    PathString file_path;
    std::vector<PathChar> windows_dir = std::vector<PathChar>(kSearchTextChars);
};

// Opens the search of the folder `path` as a new level, or null (with
// `*error`) when the folder cannot be listed.
std::unique_ptr<Level> OpenLevel(const PathString& path, Scratch* scratch, OsError* error) {
    std::unique_ptr<Level> level(new Level());
    level->path = path;
    scratch->text.assign(path).append(ZQ_SEARCH_SUFFIX);
    if (!level->search.Open(scratch->text.c_str())) {
        *error = level->search.Error();
        return nullptr;
    }
    level->has_id = level->search.GetFolderId(&level->id);
    return level;
}

void LogSearchFailed(OsError error) {
    g_Logger.Write("[%s][%d]Call FindFirstFile failed: %d", "ScanFolder", 275,
                   static_cast<int>(error));
}

bool IsOpenAbove(const Levels& levels, const platform::FolderId& id) {
    for (const std::unique_ptr<Level>& level : levels) {
        if (level->has_id && level->id == id) {
            return true;
        }
    }
    return false;
}

// The sub-folder `name` of the innermost level: the level to walk next, or
// null when it is not entered.
std::unique_ptr<Level> EnterFolder(const Levels& levels, const PathChar* name, Scratch* scratch) {
    const Level& parent = *levels.back();
    if (parent.path.size() + 1 + Length(name) + Length(ZQ_SEARCH_SUFFIX) >= kSearchTextChars) {
        g_Logger.Write(
            "[%s][%d]Folder path too long, not scanned:" ZQ_PATH_FMT ZQ_PATH_FMT ZQ_PATH_FMT,
            "ScanFolder", 296, parent.path.c_str(), ZQ_PATH_SEP_STR, name);
        return nullptr;
    }
    PathString sub_folder(parent.path);
    sub_folder.append(1, ZQ_PATH_SEP).append(name);

    platform::ReadWindowsDirectory(scratch->windows_dir.data(),
                                   static_cast<uint32_t>(scratch->windows_dir.size()));
    if (IsInWindowsDirectory(sub_folder.c_str(), scratch->windows_dir.data())) {
        return nullptr;
    }
    // The search is opened before the entry is logged, so that a folder
    // already open above (reached again through a link or junction) is
    // known and logged instead.
    OsError error = 0;
    std::unique_ptr<Level> level = OpenLevel(sub_folder, scratch, &error);
    if (level && level->has_id && IsOpenAbove(levels, level->id)) {
        g_Logger.Write("[%s][%d]Folder already open above, not scanned again:" ZQ_PATH_FMT,
                       "ScanFolder", 297, sub_folder.c_str());
        return nullptr;
    }
    g_Logger.Write("[%s][%d]Start Scanning Folder:" ZQ_PATH_FMT, "ScanFolder", 300,
                   sub_folder.c_str());
    if (!level) {
        LogSearchFailed(error);
    }
    return level;
}

void ScanFile(const Level& folder, const PathChar* name, uint32_t size_low, Scratch* scratch) {
    if (size_low > kSizeLimit) {
        return;
    }
    if (folder.path.size() + 1 + Length(name) >= kFilePathChars) {
        // A cut path could name another file: the file is not examined.
        g_Logger.Write(
            "[%s][%d]File path too long, not scanned:" ZQ_PATH_FMT ZQ_PATH_FMT ZQ_PATH_FMT,
            "ScanFolder", 313, folder.path.c_str(), ZQ_PATH_SEP_STR, name);
        return;
    }
    PathString& file_path = scratch->file_path;
    file_path.assign(folder.path).append(1, ZQ_PATH_SEP).append(name);
    g_Logger.Write("[%s][%d]Start Scanning File:" ZQ_PATH_FMT, "ScanFolder", 309,
                   file_path.c_str());
    if (!CommFunc::IsFilePE(file_path.c_str())) {
        g_Logger.Write("[%s][%d]Not PE-Type, no need to scan", "ScanFolder", 338);
        return;
    }
    ScanResult result = Error;
    DisinfectFile(file_path.c_str(), &result);
    platform::ConsoleWrite(ZQ_T("Path:"));
    platform::ConsoleWrite(file_path.c_str());
    platform::ConsoleWrite(ResultText(result));
    g_Logger.Write("[%s][%d]Path:" ZQ_PATH_FMT ", Result:%d", "ScanFolder", 334, file_path.c_str(),
                   static_cast<int>(result));
}

}  // namespace

BOOL ScanFolder(const PathChar* path) {
    if (path == nullptr) {
        g_Logger.Write("[%s][%d]Invalid Param", "ScanFolder", 261);
        return FALSE;
    }
    Scratch scratch;
    scratch.text.reserve(kSearchTextChars);
    scratch.file_path.reserve(kFilePathChars);

    const PathString root(path);
    if (root.size() + Length(ZQ_SEARCH_SUFFIX) >= kSearchTextChars) {
        g_Logger.Write("[%s][%d]Folder path too long, not scanned:" ZQ_PATH_FMT, "ScanFolder", 296,
                       path);
        return FALSE;
    }
    Levels levels;
    OsError error = 0;
    std::unique_ptr<Level> first = OpenLevel(root, &scratch, &error);
    if (!first) {
        LogSearchFailed(error);
        return FALSE;
    }
    levels.push_back(std::move(first));

    while (!levels.empty()) {
        Level& level = *levels.back();
        if (level.entry_handled) {
            level.search.Next();
        }
        level.entry_handled = true;
        if (!level.search.HasEntry()) {
            levels.pop_back();  // closes the folder's search
            continue;
        }
        const PathChar* name = level.search.Name();
        if (name[0] == ZQ_T('.')) {
            continue;
        }
        switch (level.search.Kind()) {
            case platform::EntryKind::Folder: {
                std::unique_ptr<Level> sub_folder = EnterFolder(levels, name, &scratch);
                if (sub_folder) {
                    levels.push_back(std::move(sub_folder));
                }
                break;
            }
            case platform::EntryKind::File:
                ScanFile(level, name, level.search.SizeLow(), &scratch);
                break;
            case platform::EntryKind::Other:
                break;
        }
    }
    return TRUE;
}
