// zqrestore's work: check a backup through, then write its original into a
// file made new for it.
#include "restore.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "backup_format.h"
#include "infect/md5_context.h"
#include "platform/test_hooks.h"
#include "store.h"

namespace druquara {

namespace {

constexpr size_t kChunk = 64 * 1024;

// Reads until `capacity` bytes are in or the file ends.
bool ReadFull(SourceFile* source, uint8_t* buffer, size_t capacity, size_t* got) {
    *got = 0;
    while (*got < capacity) {
        size_t count = 0;
        if (!source->Read(buffer + *got, capacity - *got, &count)) {
            return false;
        }
        if (count == 0) {
            break;
        }
        *got += count;
    }
    return true;
}

std::string Quoted(const PathChar* path) {
    return "\"" + ToUtf8(path) + "\"";
}

std::string WithError(const std::string& text) {
    return text + ": error " + std::to_string(ThreadError());
}

RestoreOutcome Outcome(RestoreStatus status, const std::string& message) {
    RestoreOutcome outcome;
    outcome.status = status;
    outcome.message = message;
    return outcome;
}

// Where the restored bytes go on a pass that writes them.
struct Target {
    NewFile* file;
    const PathChar* path;
};

// Reads the backup through and checks it: header, body length and the MD5
// of the restored bytes. With a target, writes the restored bytes there as
// they come. `header_bytes` receives the header as read.
bool ReadBackup(const PathChar* backup, const Target* target,
                uint8_t header_bytes[kBackupHeaderSize], uint64_t* size, RestoreOutcome* outcome) {
    const std::string name = Quoted(backup);
    SourceFile source;
    if (!source.Open(backup)) {
        *outcome = Outcome(RestoreStatus::BackupRefused, WithError("cannot open " + name));
        return false;
    }
    size_t got = 0;
    if (!ReadFull(&source, header_bytes, kBackupHeaderSize, &got)) {
        *outcome = Outcome(RestoreStatus::BackupRefused, WithError("cannot read " + name));
        return false;
    }
    BackupHeader header;
    switch (DecodeBackupHeader(header_bytes, got, &header)) {
        case HeaderCheck::Ok:
            break;
        case HeaderCheck::NotABackup:
            *outcome = Outcome(RestoreStatus::BackupRefused,
                               name +
                                   " is not a backup of the quarantine library (no backup "
                                   "header)");
            return false;
        case HeaderCheck::UnsupportedVersion:
            *outcome = Outcome(RestoreStatus::BackupRefused,
                               name +
                                   " has a backup format version or flags this program does "
                                   "not know");
            return false;
    }

    std::vector<uint8_t> chunk(kChunk);
    MD5Context md5;
    md5.Init();
    uint64_t done = 0;
    for (;;) {
        size_t count = 0;
        if (!ReadFull(&source, chunk.data(), chunk.size(), &count)) {
            *outcome = Outcome(RestoreStatus::BackupRefused, WithError("cannot read " + name));
            return false;
        }
        if (count == 0) {
            break;
        }
        if (count > header.original_size - done) {
            *outcome =
                Outcome(RestoreStatus::BackupRefused,
                        name + " is damaged: it holds more than the " +
                            std::to_string(header.original_size) + " bytes its header gives");
            return false;
        }
        TransformBackupBytes(chunk.data(), count, done);
        md5.Update(chunk.data(), static_cast<uint32_t>(count));
        if (target != nullptr && !target->file->Write(chunk.data(), count)) {
            *outcome = Outcome(RestoreStatus::OutFailed,
                               WithError("cannot write " + Quoted(target->path)));
            return false;
        }
        done += count;
    }
    if (done != header.original_size) {
        *outcome = Outcome(RestoreStatus::BackupRefused,
                           name + " is damaged: it holds " + std::to_string(done) + " of the " +
                               std::to_string(header.original_size) + " bytes its header gives");
        return false;
    }
    md5.Final();
    if (std::memcmp(md5.digest, header.md5, sizeof(header.md5)) != 0) {
        std::string stored;
        DigestToHex(header.md5, stored);
        *outcome = Outcome(RestoreStatus::BackupRefused,
                           name + " is damaged: its bytes have the MD5 " + md5.HexDigest() +
                               ", its header gives " + stored);
        return false;
    }
    *size = done;
    return true;
}

// Creates `out` and writes the original into it; the file is closed when
// this returns. `*created` tells whether `out` is this call's own file.
bool WriteOriginal(const PathChar* backup, const PathChar* out,
                   const uint8_t checked_header[kBackupHeaderSize], bool* created,
                   RestoreOutcome* outcome) {
    *created = false;
    NewFile file;
    switch (file.Create(out)) {
        case CreateResult::Created:
            *created = true;
            break;
        case CreateResult::Exists:
            *outcome = Outcome(RestoreStatus::OutExists,
                               Quoted(out) + " exists already; nothing was written");
            return false;
        case CreateResult::Failed:
            *outcome = Outcome(RestoreStatus::OutFailed, WithError("cannot create " + Quoted(out)));
            return false;
    }
    const Target target = {&file, out};
    uint8_t header_bytes[kBackupHeaderSize];
    uint64_t size = 0;
    if (!ReadBackup(backup, &target, header_bytes, &size, outcome)) {
        return false;
    }
    if (std::memcmp(header_bytes, checked_header, kBackupHeaderSize) != 0) {
        *outcome = Outcome(RestoreStatus::BackupRefused,
                           Quoted(backup) + " changed while it was being restored");
        return false;
    }
    if (!file.Commit()) {
        *outcome = Outcome(RestoreStatus::OutFailed, WithError("cannot write " + Quoted(out)));
        return false;
    }
    *outcome = Outcome(RestoreStatus::Restored, "restored " + std::to_string(size) + " bytes of " +
                                                    Quoted(backup) + " to " + Quoted(out));
    return true;
}

}  // namespace

RestoreOutcome RestoreBackup(const PathChar* backup, const PathChar* out) {
    RestoreOutcome outcome;
    uint8_t header_bytes[kBackupHeaderSize];
    uint64_t size = 0;
    if (!ReadBackup(backup, nullptr, header_bytes, &size, &outcome)) {
        return outcome;
    }
    if constexpr (kTestHooks) {
        RunBetweenPassesForTesting();
    }
    bool created = false;
    if (!WriteOriginal(backup, out, header_bytes, &created, &outcome) && created) {
        RemoveFile(PathString(out));
        outcome.message += "; " + Quoted(out) + " removed";
    }
    return outcome;
}

int RestoreMain(int argc, PathChar** argv, const RestoreOutput& output) {
    if (argc != 3) {
        output.error(
            "usage: zqrestore BACKUP OUT\n"
            "Writes the original file held in BACKUP (a .quar file of the quarantine library)\n"
            "to OUT, a new file. Exit code 0 when restored, 1 when BACKUP is refused (not a\n"
            "backup, unknown format, damaged or unreadable), 2 on bad usage, 3 when OUT\n"
            "exists already, 4 when OUT cannot be written.\n");
        return static_cast<int>(RestoreStatus::Usage);
    }
    const RestoreOutcome outcome = RestoreBackup(argv[1], argv[2]);
    const std::string line = "zqrestore: " + outcome.message + "\n";
    if (outcome.status == RestoreStatus::Restored) {
        output.out(line);
    } else {
        output.error(line);
    }
    return static_cast<int>(outcome.status);
}

int RestoreMain(int argc, PathChar** argv) {
    RestoreOutput output;
    output.out = [](const std::string& text) { std::fputs(text.c_str(), stdout); };
    output.error = [](const std::string& text) { std::fputs(text.c_str(), stderr); };
    return RestoreMain(argc, argv, output);
}

}  // namespace druquara
