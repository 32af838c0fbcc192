// The stand-in quarantine library: the factory `CreateRecycleObject` and its
// object. The object's one real operation (slot 3) backs the file up, as it
// is, into the folder "Quarantine" beside this library under a name of its
// own (".<date>-<time>-<n>.quar", never replacing an earlier backup) and
// writes a record beside it (".<same name>.txt": original path, detection
// name, value, time, MD5 and size of the bytes backed up, the backup's
// format). The backup is in the format of backup_format.h, which no scan
// takes for an executable image; zqrestore gives the original back. The
// names begin with "." so that a scan of the drive holding the library
// passes over them.
#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "backup_format.h"
#include "infect/md5_context.h"
#include "quarantine/recycle_object.h"
#include "store.h"

namespace {

constexpr RecycleResult kPointerError = static_cast<int32_t>(0x80004003u);  // E_POINTER
constexpr RecycleGuid kUnknownIid = {
    0x00000000u, 0x0000u, 0x0000u, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// Copies per second that may share one time stamp.
constexpr int kMaxCopiesPerStamp = 10000;
constexpr size_t kCopyChunk = 64 * 1024;

// A failure with the OS's code (HRESULT_FROM_WIN32 style; errno on POSIX).
RecycleResult FailureFromThreadError() {
    const uint32_t code = druquara::ThreadError();
    if (code == 0) {
        return kRecycleFail;
    }
    return static_cast<int32_t>(0x80070000u | (code & 0xFFFFu));
}

// The library's one object: it lives as long as the library, so neither the
// count nor a missing Release can free it early.
std::atomic<uint32_t> g_references{0};

RecycleResult ZQ_COMCALL QueryInterfaceSlot(RecycleObject* self, const RecycleGuid* iid,
                                            void** out);
uint32_t ZQ_COMCALL AddRefSlot(RecycleObject* self) {
    return ++g_references;
}
uint32_t ZQ_COMCALL ReleaseSlot(RecycleObject* self) {
    return --g_references;
}
RecycleResult ZQ_COMCALL QuarantineFileSlot(RecycleObject* self, const PathChar* path,
                                            const PathChar* detection_name, uint32_t value);

const RecycleObjectTable kTable = {QueryInterfaceSlot, AddRefSlot, ReleaseSlot, QuarantineFileSlot};
RecycleObject g_object = {&kTable};

RecycleResult ZQ_COMCALL QueryInterfaceSlot(RecycleObject* self, const RecycleGuid* iid,
                                            void** out) {
    if (out == nullptr) {
        return kPointerError;
    }
    *out = nullptr;
    if (iid == nullptr || (!SameGuid(*iid, kRecycleObjectIid) && !SameGuid(*iid, kUnknownIid))) {
        return kRecycleNoInterface;
    }
    AddRefSlot(self);
    *out = self;
    return kRecycleOk;
}

// Claims a fresh backup name in `folder`: ".<compact time>-<n>.quar".
RecycleResult CreateCopy(const PathString& folder, const std::string& stamp,
                         druquara::NewFile* copy, PathString* copy_path, std::string* name) {
    for (int n = 1; n <= kMaxCopiesPerStamp; ++n) {
        const std::string candidate = "." + stamp + "-" + std::to_string(n);
        const PathString path = folder + ZQ_PATH_SEP_STR + druquara::FromAscii(candidate + ".quar");
        const druquara::CreateResult created = copy->Create(path);
        if (created == druquara::CreateResult::Created) {
            *copy_path = path;
            *name = candidate;
            return kRecycleOk;
        }
        if (created == druquara::CreateResult::Failed) {
            return FailureFromThreadError();
        }
    }
    return kRecycleFail;
}

// Writes the backup of the source into `copy`: a header, then the body in
// chunks, then the header again with the size and digest of what was read
// (until then it names no original, so an interrupted backup is refused by
// zqrestore).
RecycleResult WriteBackup(druquara::SourceFile* source, druquara::NewFile* copy,
                          std::string* md5_hex, uint64_t* size) {
    uint8_t header_bytes[druquara::kBackupHeaderSize];
    druquara::BackupHeader header;
    druquara::EncodeBackupHeader(header, header_bytes);
    if (!copy->Write(header_bytes, sizeof(header_bytes))) {
        return FailureFromThreadError();
    }
    std::vector<uint8_t> chunk(kCopyChunk);
    MD5Context md5;
    md5.Init();
    *size = 0;
    for (;;) {
        size_t got = 0;
        if (!source->Read(chunk.data(), chunk.size(), &got)) {
            return FailureFromThreadError();
        }
        if (got == 0) {
            break;
        }
        md5.Update(chunk.data(), static_cast<uint32_t>(got));
        druquara::TransformBackupBytes(chunk.data(), got, *size);
        if (!copy->Write(chunk.data(), got)) {
            return FailureFromThreadError();
        }
        *size += got;
    }
    md5.Final();
    header.original_size = *size;
    std::copy(md5.digest, md5.digest + sizeof(md5.digest), header.md5);
    druquara::EncodeBackupHeader(header, header_bytes);
    if (!copy->WriteAt(0, header_bytes, sizeof(header_bytes)) || !copy->Commit()) {
        return FailureFromThreadError();
    }
    *md5_hex = md5.HexDigest();
    return kRecycleOk;
}

RecycleResult ZQ_COMCALL QuarantineFileSlot(RecycleObject* self, const PathChar* path,
                                            const PathChar* detection_name, uint32_t value) {
    if (path == nullptr || detection_name == nullptr) {
        return kPointerError;
    }
    const PathString library_folder = druquara::LibraryFolder();
    if (library_folder.empty()) {
        return FailureFromThreadError();
    }
    const PathString folder = library_folder + ZQ_PATH_SEP_STR + ZQ_T("Quarantine");
    if (!druquara::MakeFolder(folder)) {
        return FailureFromThreadError();
    }

    druquara::SourceFile source;
    if (!source.Open(path)) {
        return FailureFromThreadError();
    }
    std::string readable_time;
    std::string stamp;
    druquara::LocalTimeTexts(&readable_time, &stamp);

    druquara::NewFile copy;
    PathString copy_path;
    std::string name;
    RecycleResult result = CreateCopy(folder, stamp, &copy, &copy_path, &name);
    if (result < 0) {
        return result;
    }
    std::string md5_hex;
    uint64_t size = 0;
    result = WriteBackup(&source, &copy, &md5_hex, &size);
    if (result < 0) {
        druquara::RemoveFile(copy_path);
        return result;
    }

    const std::string record = "Original=" + druquara::ToUtf8(path) + "\n" +
                               "Detection=" + druquara::ToUtf8(detection_name) + "\n" +
                               "Value=" + std::to_string(value) + "\n" + "Time=" + readable_time +
                               "\n" + "MD5=" + md5_hex + "\n" + "Size=" + std::to_string(size) +
                               "\n" + "Copy=" + name + ".quar\n" + "Format=ZQQB " +
                               std::to_string(druquara::kBackupVersion) + "\n";
    const PathString record_path = folder + ZQ_PATH_SEP_STR + druquara::FromAscii(name + ".txt");
    druquara::NewFile record_file;
    if (record_file.Create(record_path) != druquara::CreateResult::Created ||
        !record_file.Write(record.data(), record.size()) || !record_file.Commit()) {
        result = FailureFromThreadError();
        druquara::RemoveFile(record_path);
        druquara::RemoveFile(copy_path);
        return result < 0 ? result : kRecycleFail;
    }
    return kRecycleOk;
}

}  // namespace

// The factory: the library's one object for the system's interface
// identifier (or IUnknown), E_NOINTERFACE and a null object for any other.
extern "C" DRUQUARA_EXPORT RecycleResult ZQ_COMCALL CreateRecycleObject(const RecycleGuid* iid,
                                                                        RecycleObject** object) {
    if (object == nullptr) {
        return kPointerError;
    }
    void* out = nullptr;
    const RecycleResult result = QueryInterfaceSlot(&g_object, iid, &out);
    *object = static_cast<RecycleObject*>(out);
    return result;
}
