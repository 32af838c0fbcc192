// ScanFolder: the depth-first walk. The walk keeps an explicit stack of open
// levels, each with its open search, its identity and the length of its
// path, so the order is that of a recursive walk: a sub-folder is walked
// completely, when its entry is met, before the next entry of its parent is
// read. The paths share one buffer: it holds the innermost open folder's
// path, extended by a separator and the entry's name while an entry is
// handled, so the memory a level costs does not grow with its depth. What
// the walk has to do for each entry goes through its read-ahead (read_ahead.h),
// which does it in the walk's order.
#include "scan/scan_folder.h"

#include <string>
#include <vector>

#include "log/logger.h"
#include "platform/dir_search.h"
#include "platform/entry_rules.h"
#include "platform/interrupt.h"
#include "platform/windows_dir.h"
#include "scan/read_ahead.h"
#include "scan/scan_folder_seam.h"
#include "scan/scan_folder_walk.h"
#include "scan/scan_options.h"
#include "scan/scan_stats.h"
#include "scan/windows_dir_rule.h"

namespace {

constexpr size_t kSearchTextChars = 4096;  // the system's search text, terminator included
// Levels whose searches stay open; the ones further out give their folder
// back (POSIX descriptors) and reopen it by path when the walk returns, so
// the walk's depth does not depend on the descriptor limit.
constexpr size_t kOpenLevels = 64;

// A folder's identity, asked for only when a folder that may lead back is met.
enum class IdState { NotAsked, Known, Unknown };

struct Level {
    size_t path_length = 0;  // the folder's path: this many characters of the walk's path
    platform::DirSearch search;
    platform::FolderId id;
    IdState id_state = IdState::NotAsked;
    bool entry_handled = false;  // the current entry is done: read the next one first
    bool volume_root = false;    // a volume's root: the walk's root, or a mount point entered
};

size_t Length(const PathChar* text) {
    return std::char_traits<PathChar>::length(text);
}

// The state of one walk: the open levels, the shared path and the scratch
// buffers of the Windows-directory rule, reused for every entry.
class Walk {
  public:
    Walk(const FolderIdentitySource* identity, const ScanOptions& options,
         ReadAhead::Mode read_ahead)
        : identity_(identity), read_ahead_(options, read_ahead) {
        // No path that the walk builds is longer than this, so the buffer is
        // never moved while a pointer into it is handed out.
        path_.reserve(kSearchTextChars + 1);
    }

    // Opens the root folder `path` as the first level; false (with its log
    // line) when it is too long or cannot be listed.
    bool Start(const PathChar* path) {
        path_.assign(path);
        if (path_.size() > platform::kMaxSearchedFolderChars) {
            read_ahead_.PathLine("[%s][%d]Folder path too long, not scanned:%s", 296, path_);
            read_ahead_.Count(ScanCounter::NotScanned);
            return false;
        }
        levels_.emplace_back();
        Level& level = levels_.back();
        level.path_length = path_.size();
        level.volume_root = true;
        if (!level.search.Open(path_.c_str())) {
            read_ahead_.SearchFailed(level.search.Error());
            read_ahead_.Count(ScanCounter::FoldersUnlisted);
            levels_.pop_back();
            return false;
        }
        read_ahead_.Count(ScanCounter::FoldersEntered);
        return true;
    }

    // Walks while the queue has room and works it down in the walk's order;
    // an interrupt ends both between two entries.
    void Run() {
        for (;;) {
            if (platform::InterruptRequested() || read_ahead_.Stopped()) {
                read_ahead_.Drain();  // up to the next entry, then nothing
                // A reader may still read through an open folder: the
                // read-ahead keeps them until the last reader has ended.
                for (Level& level : levels_) {
                    read_ahead_.KeepOpenForReaders(std::move(level.search));
                }
                levels_.clear();
                return;
            }
            if (!levels_.empty() && !read_ahead_.Full()) {
                Step();
            } else if (!read_ahead_.Empty()) {
                read_ahead_.DoNext();
            } else {
                return;
            }
        }
    }

    // Does whatever is still queued (after a Start that failed).
    void Finish() { read_ahead_.Drain(); }

  private:
    // One step of the walk: the next entry of the innermost folder, or the
    // end of that folder.
    void Step() {
        read_ahead_.BeginEntry();
        Level& level = levels_.back();
        if (level.entry_handled) {
            level.search.Next();
        }
        level.entry_handled = true;
        if (!level.search.HasEntry()) {
            // Closed in its turn, once the files queued through it are done.
            read_ahead_.CloseFolder(std::move(level.search));
            levels_.pop_back();
            if (!levels_.empty()) {
                path_.resize(levels_.back().path_length);
                ResumeInnermost();
            }
            return;
        }
        const PathChar* name = level.search.Name();
        if (name[0] == ZQ_T('.')) {
            return;
        }
        if (level.search.IsListedFile()) {
            // Asked what it is, and passed over or examined, by a reader:
            // the walk's thread asks nothing of a file.
            read_ahead_.ListedFile(path_, name, level.search);
            return;
        }
        const platform::EntryKind kind = level.search.Kind();
        switch (kind) {
            case platform::EntryKind::Folder:
            case platform::EntryKind::NotLocalFolder:
            case platform::EntryKind::Link:
            case platform::EntryKind::MountPoint:
                EnterFolder(name, kind);
                break;
            case platform::EntryKind::File:
            case platform::EntryKind::NotLocalFile:
                ScanFile(name, level.search.SizeLow(), kind == platform::EntryKind::NotLocalFile);
                break;
            case platform::EntryKind::BindMount:
                LogJoinedPath("[%s][%d]Mount inside the walk, not scanned:%s", 298, name);
                read_ahead_.Count(ScanCounter::NotScanned);
                break;
            case platform::EntryKind::Other:
                break;
        }
    }

    // The innermost level, returned to, reopens its folder if it gave it
    // back; one that cannot is logged and ends.
    void ResumeInnermost() {
        Level& level = levels_.back();
        if (!level.search.IsSuspended()) {
            return;
        }
        // Reopened by its path, as the walk finds it once everything before
        // has been done.
        read_ahead_.Drain();
        if (!level.search.Resume(path_.c_str())) {
            read_ahead_.SearchFailed(level.search.Error());
        }
    }

    // Whether `sub_folder`, whose path the walk's path holds, is a folder
    // open above. An identity that cannot be had, or whose index is zero
    // (some file systems report no index), matches nothing: a folder is never
    // left out on a guess.
    bool IsOpenAbove(const Level& sub_folder) {
        platform::FolderId id;
        if (!Identify(sub_folder.search, path_.c_str(), &id) || id.index == 0) {
            return false;
        }
        for (Level& level : levels_) {
            if (level.id_state == IdState::NotAsked) {
                const PathString folder = path_.substr(0, level.path_length);
                level.id_state =
                    Identify(level.search, folder.c_str(), &level.id) && level.id.index != 0
                        ? IdState::Known
                        : IdState::Unknown;
            }
            if (level.id_state == IdState::Known && level.id == id) {
                return true;
            }
        }
        return false;
    }

    // The sub-folder `name` of the innermost level, listed as `kind`: pushed
    // as the next level to walk unless it is not entered.
    void EnterFolder(const PathChar* name, platform::EntryKind kind) {
        const size_t parent_length = path_.size();
        if (parent_length + 1 + Length(name) > platform::kMaxSearchedFolderChars) {
            LogJoinedPath("[%s][%d]Folder path too long, not scanned:%s", 296, name);
            read_ahead_.Count(ScanCounter::NotScanned);
            return;
        }
        path_.append(1, ZQ_PATH_SEP).append(name);

        platform::ReadWindowsDirectory(windows_dir_.data(),
                                       static_cast<uint32_t>(windows_dir_.size()));
        if (IsInWindowsDirectory(path_.c_str(), windows_dir_.data(), &upper_path_,
                                 &upper_windows_dir_)) {
            path_.resize(parent_length);
            return;
        }
        // Its contents are not on the disk (listing them would bring them
        // in), or it is a link, walked where its target lies: not entered.
        const bool mount_point = kind == platform::EntryKind::MountPoint;
        if (kind == platform::EntryKind::NotLocalFolder || kind == platform::EntryKind::Link ||
            (mount_point && !levels_.back().search.EntersMountPoint(path_.c_str()))) {
            if (kind == platform::EntryKind::NotLocalFolder) {
                PassOverFolder("[%s][%d]Not local, not scanned:%s", 299, parent_length);
            } else {
                PassOverFolder("[%s][%d]Link, not entered:%s", 294, parent_length);
            }
            return;
        }
        // The search is opened before the entry is logged, so that a folder
        // already open above (reached again through a link or junction) is
        // known and logged instead.
        const bool may_lead_back = MayLeadBack(levels_.back().search);
        Level sub_folder;
        sub_folder.path_length = path_.size();
        sub_folder.volume_root = mount_point;
        const bool opened = sub_folder.search.OpenChild(levels_.back().search, path_.c_str());
        if (opened && may_lead_back) {
            if (IsOpenAbove(sub_folder)) {
                PassOverFolder("[%s][%d]Folder already open above, not scanned again:%s", 297,
                               parent_length);
                return;
            }
        }
        if (!opened && platform::IsFolderKeptBySystem(levels_.back().volume_root, name,
                                                      sub_folder.search.Error(),
                                                      platform::kErrorKeptBySystem)) {
            // Denied to administrators by design: nothing to report.
            PassOverFolder("[%s][%d]Folder kept by the system, not listed:%s", 276, parent_length);
            return;
        }
        read_ahead_.PathLine("[%s][%d]Start Scanning Folder:%s", 300, path_);
        if (!opened) {
            read_ahead_.SearchFailed(sub_folder.search.Error());
            read_ahead_.Count(ScanCounter::FoldersUnlisted);
            path_.resize(parent_length);
            return;
        }
        read_ahead_.Count(ScanCounter::FoldersEntered);
        read_ahead_.Progress(path_);
        levels_.push_back(std::move(sub_folder));
        if (levels_.size() > kOpenLevels) {
            // Deeper than the levels kept open: the level given back first
            // has everything queued through it done.
            read_ahead_.Drain();
            levels_[levels_.size() - 1 - kOpenLevels].search.Suspend();
        }
    }

    // The file `name` of the innermost level, listed with `size_low`;
    // `not_local`: its data is not on the disk, so it is never opened.
    void ScanFile(const PathChar* name, uint32_t size_low, bool not_local) {
        if (size_low > kScanSizeLimit) {
            read_ahead_.Count(ScanCounter::FilesSeen);
            read_ahead_.Progress(path_);
            return;
        }
        if (not_local) {
            PassOverFile("[%s][%d]Not local, not scanned:%s", 299, name);
            return;
        }
        // Every open of the file goes through its folder's open search; a
        // path too long is passed over in its turn.
        read_ahead_.File(path_, name, levels_.back().search, size_low);
    }

    // The folder whose path the walk's buffer holds, below the folder of
    // `parent_length` characters, is not entered: its line `format` and
    // `number`, counted Not Scanned, and the buffer back to the parent.
    void PassOverFolder(const char* format, int number, size_t parent_length) {
        read_ahead_.PathLine(format, number, path_);
        read_ahead_.Count(ScanCounter::NotScanned);
        path_.resize(parent_length);
    }

    // The file `name` of the innermost folder is seen but not examined: its
    // line `format` and `number`, counted Not Scanned.
    void PassOverFile(const char* format, int number, const PathChar* name) {
        read_ahead_.Count(ScanCounter::FilesSeen);
        read_ahead_.Progress(path_);
        LogJoinedPath(format, number, name);
        read_ahead_.Count(ScanCounter::NotScanned);
    }

    // Logs the path of the innermost folder joined with `name`, which the
    // walk's buffer does not hold, with the line `format` and `number`.
    void LogJoinedPath(const char* format, int number, const PathChar* name) {
        PathString joined = path_;
        joined.append(1, ZQ_PATH_SEP).append(name);
        read_ahead_.PathLine(format, number, joined);
    }

    // The folder identity a test gives; null: the platform's own.
    bool MayLeadBack(const platform::DirSearch& parent) const {
        return identity_ != nullptr ? identity_->may_lead_back(parent) : parent.EntryMayLeadBack();
    }
    bool Identify(const platform::DirSearch& search, const PathChar* folder_path,
                  platform::FolderId* id) const {
        return identity_ != nullptr ? identity_->identify(search, folder_path, id)
                                    : search.GetFolderId(folder_path, id);
    }

    const FolderIdentitySource* identity_;
    std::vector<Level> levels_;
    // Declared after the levels, so its readers have stopped before the
    // searches they read through are closed.
    ReadAhead read_ahead_;
    PathString path_;
    std::vector<PathChar> windows_dir_ = std::vector<PathChar>(kSearchTextChars);
    PathString upper_path_;
    PathString upper_windows_dir_;
};

}  // namespace

bool WalkFolderTree(const PathChar* path, const ScanOptions& options, ReadAhead::Mode read_ahead,
                    const FolderIdentitySource* identity) {
    if (path == nullptr) {
        g_Logger.Write("[%s][%d]Invalid Param", "ScanFolder", 261);
        return false;
    }
    Walk walk(identity, options, read_ahead);
    if (!walk.Start(path)) {
        walk.Finish();
        return false;
    }
    walk.Run();
    return true;
}

BOOL ScanFolder(const PathChar* path) {
    return WalkFolderTree(path, ScanOptions(), ReadAhead::Mode::On, nullptr) ? TRUE : FALSE;
}

BOOL ScanFolder(const PathChar* path, const ScanOptions& options) {
    return WalkFolderTree(path, options, ReadAhead::Mode::On, nullptr) ? TRUE : FALSE;
}
