// A quarantine library for tests whose quarantine call changes the file it is
// given, as an infector still running, the suite itself or any other process
// might between the system's check and its repair. It keeps no backup.
//
// What it does is read from "changer.txt" beside the library: one line, a
// mode word and, for the link modes, a target path:
//   overwrite        rewrites the file in place with one byte of its
//                    signature window changed (its trailer stays valid)
//   truncate         cuts the file to 3000 bytes
//   link TARGET      replaces the file by a symbolic link to TARGET
//   fifos            replaces every other file of the file's folder by a FIFO
//   links TARGET     replaces every other file of the file's folder by a
//                    symbolic link to TARGET
// Without the file, or with another word, it changes nothing.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "changer_fifo.h"
#include "quarantine/recycle_object.h"
#include "store.h"
#include "variant_object.h"

namespace {

namespace fs = std::filesystem;

using druquara::kPointerError;
constexpr uint64_t kChangedWindowByte = 1024 + 500;
constexpr uint64_t kTruncatedSize = 3000;

struct Mode {
    std::string word;
    std::string target;
};

Mode ReadMode() {
    Mode mode;
    const PathString folder = druquara::LibraryFolder();
    if (folder.empty()) {
        return mode;
    }
    std::ifstream in(fs::path(folder) / "changer.txt");
    in >> mode.word;
    std::getline(in >> std::ws, mode.target);
    while (!mode.target.empty() && (mode.target.back() == '\r' || mode.target.back() == '\n' ||
                                    mode.target.back() == ' ')) {
        mode.target.pop_back();
    }
    return mode;
}

void FlipWindowByte(const fs::path& file) {
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    char byte = 0;
    io.seekg(static_cast<std::streamoff>(kChangedWindowByte));
    if (!io.get(byte)) {
        return;
    }
    io.seekp(static_cast<std::streamoff>(kChangedWindowByte));
    io.put(static_cast<char>(byte ^ 0x01));
}

void ReplaceOthers(const fs::path& file, const Mode& mode) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(file.parent_path(), ec)) {
        if (entry.path().filename() == file.filename() || !entry.is_regular_file(ec)) {
            continue;
        }
        fs::remove(entry.path(), ec);
        if (mode.word == "fifos") {
            druquara::MakeFifo(entry.path());
        } else {
            fs::create_symlink(fs::path(mode.target), entry.path(), ec);
        }
    }
}

RecycleResult ZQ_COMCALL QuarantineFileSlot(RecycleObject* /*self*/, const PathChar* path,
                                            const PathChar* detection_name, uint32_t /*value*/) {
    if (path == nullptr || detection_name == nullptr) {
        return kPointerError;
    }
    const Mode mode = ReadMode();
    const fs::path file(path);
    std::error_code ec;
    if (mode.word == "overwrite") {
        FlipWindowByte(file);
    } else if (mode.word == "truncate") {
        fs::resize_file(file, kTruncatedSize, ec);
    } else if (mode.word == "link") {
        fs::remove(file, ec);
        fs::create_symlink(fs::path(mode.target), file, ec);
    } else if (mode.word == "fifos" || mode.word == "links") {
        ReplaceOthers(file, mode);
    }
    return kRecycleOk;
}

}  // namespace

extern "C" DRUQUARA_EXPORT RecycleResult ZQ_COMCALL CreateRecycleObject(const RecycleGuid* iid,
                                                                        RecycleObject** object) {
    return druquara::VariantObject<QuarantineFileSlot>::Create(iid, object);
}
