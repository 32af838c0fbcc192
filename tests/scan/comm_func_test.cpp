// CommFunc::IsFilePE over small images built at test time, and the absence
// of log lines for everything but failed calls.
#include "scan/comm_func.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/fault_seam.h"
#include "platform/file.h"
#include "platform/path_text.h"
#include "sample_builder/sample_builder.h"
#include "platform/entry_rules.h"
#include "platform/file_ref.h"
#include "scan/image_exam.h"
#include "scan/is_file_pe_seam.h"
#include "scan/scan_stats.h"
#include "support/held_file.h"
#include "support/log_capture.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"

namespace {

using testsupport::Bytes;

using testsupport::kWindows;

void Put16(Bytes* bytes, size_t at, uint16_t value) {
    if (at + 2 <= bytes->size()) {
        memcpy(bytes->data() + at, &value, 2);
    }
}

void Put32(Bytes* bytes, size_t at, uint32_t value) {
    if (at + 4 <= bytes->size()) {
        memcpy(bytes->data() + at, &value, 4);
    }
}

// `size` zero bytes with "MZ", e_lfanew and, where they fall inside the
// file, the PE signature and Characteristics.
Bytes HeaderAt(uint32_t size, int32_t lfanew, uint16_t characteristics = 0x0102) {
    Bytes bytes(size, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put32(&bytes, 0x3C, static_cast<uint32_t>(lfanew));
    if (lfanew >= 0) {
        Put32(&bytes, static_cast<size_t>(lfanew), 0x00004550);
        Put16(&bytes, static_cast<size_t>(lfanew) + 22, characteristics);
    }
    return bytes;
}

Bytes Image64() {
    Bytes bytes = sample::BuildPe(1024);
    Put16(&bytes, 0x80 + 4, 0x8664);   // Machine: x64
    Put16(&bytes, 0x80 + 22, 0x0022);  // executable, large-address aware
    Put16(&bytes, 0x80 + 24, 0x020B);  // PE32+ optional header
    return bytes;
}

Bytes WithByte(Bytes bytes, size_t at, uint8_t value) {
    bytes[at] = value;
    return bytes;
}

struct Case {
    const char* name;
    std::function<Bytes()> make;
    BOOL expected;
};

class IsFilePETest : public ::testing::Test {
  protected:
    testsupport::TempDir dir_;

    PathString Make(const std::string& name, const Bytes& bytes) {
        testsupport::WriteFile(dir_.Join(name), bytes);
        return dir_.Join(name);
    }
};

TEST_F(IsFilePETest, AcceptsImagesThatAreNotDllsAndLogsNoRejection) {
    const Case cases[] = {
        {"511 bytes with a valid header", [] { return sample::BuildPe(511); }, FALSE},
        {"512 bytes, header at 0x80", [] { return sample::BuildPe(512); }, TRUE},
        {"ZM",
         [] {
             return sample::BuildPe(4096, {false, true, 1});
         },
         TRUE},
        {"DLL",
         [] {
             return sample::BuildPe(4096, {true, false, 1});
         },
         FALSE},
        {"64-bit image", Image64, TRUE},
        {"no DOS signature", [] { return WithByte(sample::BuildPe(4096), 0, 'X'); }, FALSE},
        {"PE signature not followed by zeros",
         [] { return WithByte(sample::BuildPe(4096), 0x83, 1); }, FALSE},
        {"negative e_lfanew", [] { return HeaderAt(4096, -4); }, FALSE},
        {"most negative e_lfanew", [] { return HeaderAt(4096, INT32_MIN); }, FALSE},
        {"e_lfanew near 2^31", [] { return HeaderAt(4096, 0x7FFFFFF0); }, FALSE},
        {"block past the last page", [] { return HeaderAt(4096, 4096 - 247); }, FALSE},
        {"block ends at the end of the file", [] { return HeaderAt(4096, 4096 - 248); }, TRUE},
        // Signature and Characteristics inside the file, the rest of the block
        // in the zeros after the end of the file within its page.
        {"signature at 900 in 1000 bytes", [] { return HeaderAt(1000, 900); }, TRUE},
        {"DLL signature at 900 in 1000 bytes", [] { return HeaderAt(1000, 900, 0x2102); }, FALSE},
        {"block ends at the page end, past the file", [] { return HeaderAt(3900, 4096 - 248); },
         TRUE},
        {"block one byte past the page end", [] { return HeaderAt(3900, 4096 - 247); }, FALSE},
        {"signature only in the page's zeros", [] { return HeaderAt(1000, 2000); }, FALSE},
        // Header blocks beyond the first page: read through a view of their
        // own on Windows, wherever they lie.
        {"block straddling the first page's end", [] { return HeaderAt(8192, 4000); }, TRUE},
        {"block straddling an allocation boundary", [] { return HeaderAt(70000, 65536 - 100); },
         TRUE},
        {"block far into the file", [] { return HeaderAt(300000, 200001); }, TRUE},
        {"DLL far into the file", [] { return HeaderAt(300000, 200001, 0x2102); }, FALSE},
        {"block far into the file, past its last page",
         [] { return HeaderAt(300000, 300000 + 4096 - 247); }, FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PathString path = Make("image.bin", c.make());
        testsupport::LogCapture log;
        EXPECT_EQ(c.expected, CommFunc::IsFilePE(path.c_str()));
        EXPECT_TRUE(log.Lines().empty());
    }
}

TEST_F(IsFilePETest, MissingFileIsLoggedWithTheOsCode) {
    testsupport::LogCapture log;
    EXPECT_FALSE(CommFunc::IsFilePE(dir_.Join("absent.exe").c_str()));
    // ERROR_FILE_NOT_FOUND and ENOENT share the value 2.
    EXPECT_EQ(std::vector<std::string>{"[CommFunc::IsFilePE][66]Call CreateFile failed: 2"},
              log.Lines());
}

TEST_F(IsFilePETest, FileOpenForWritingElsewhereCanBeExamined) {
    const PathString path = Make("busy.exe", sample::BuildPe(4096));
    platform::File writer;
    ASSERT_TRUE(testsupport::OpenHeld(&writer, path.c_str(), testsupport::Hold::Update));
    EXPECT_TRUE(CommFunc::IsFilePE(path.c_str()));
}

// A file held with no sharing (as the system holds its hives and paging
// files) is in use, not unreadable: its own line and count, no failure.
TEST_F(IsFilePETest, FileLockedAgainstReadingIsInUse) {
    const PathString path = Make("locked.exe", sample::BuildPe(4096));
    platform::File holder;
    ASSERT_TRUE(testsupport::OpenHeld(&holder, path.c_str(), testsupport::Hold::Exclusive));
    testsupport::LogCapture log;
    ResetScanStats();
    if (kWindows) {
        EXPECT_FALSE(CommFunc::IsFilePE(path.c_str()));
        EXPECT_EQ(std::vector<std::string>{"[ScanFolder][277]In use by the system, not examined:" +
                                           platform::PathText(path.c_str())},
                  log.Lines());
        EXPECT_EQ(1u, CurrentScanStats().in_use);
        EXPECT_EQ(0u, CurrentScanStats().unreadable);
    } else {
        // POSIX has no sharing modes: nothing locks a file against reading.
        EXPECT_TRUE(CommFunc::IsFilePE(path.c_str()));
        EXPECT_TRUE(log.Lines().empty());
    }
}

// Another process shortens the file between the size query and the mapping:
// the mapping then ends earlier than the queried size says, and the header is
// looked for in what is now the file (a read past the mapped pages would end
// the whole scan with an access violation).
TEST_F(IsFilePETest, FileShortenedBeforeTheMappingIsReadAsTheShorterFile) {
    struct ShrinkCase {
        const char* name;
        std::function<Bytes()> make;
        uint32_t shrunk_to;
        BOOL expected;
    };
    const ShrinkCase cases[] = {
        // Two pages queried, one mapped: the header block now lies past the
        // mapped pages.
        {"header on the second page, file cut to its first", [] { return HeaderAt(8192, 6000); },
         1000, FALSE},
        {"block straddling the first page's end, file cut to one page",
         [] { return HeaderAt(8192, 4000); }, 4000, FALSE},
        // Still two pages, the header's bytes now past the end: zeros.
        {"header past the new end within its page", [] { return HeaderAt(8192, 6000); }, 5000,
         FALSE},
        {"header kept, file cut below a page", [] { return sample::BuildPe(8192); }, 600, TRUE},
    };
    for (const ShrinkCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes before = c.make();
        const PathString path = Make("shrinking.exe", before);
        BOOL answer = FALSE;
        std::vector<std::string> lines;
        {
            testsupport::LogCapture log;
            answer = scan_seam::IsFilePEPausedBeforeMappingForTesting(path.c_str(), [&] {
                platform::File writer;
                ASSERT_TRUE(
                    testsupport::OpenHeld(&writer, path.c_str(), testsupport::Hold::Update));
                ASSERT_TRUE(
                    writer.Seek(static_cast<int32_t>(c.shrunk_to), platform::SeekOrigin::Begin));
                ASSERT_TRUE(writer.SetEnd());
            });
            lines = log.Lines();
        }
        EXPECT_EQ(c.expected, answer);
        EXPECT_TRUE(lines.empty());
        // The check itself wrote nothing: the file is the cut original.
        EXPECT_EQ(Bytes(before.begin(), before.begin() + c.shrunk_to), testsupport::ReadFile(path));
    }
}

// Every failure point of the image test, through injected faults: the answer
// is FALSE, the failed call has its one log line, the file is untouched, and a
// view shorter than asked is never read past.
TEST_F(IsFilePETest, InjectedFaultsGiveFalseTheirLogLineAndLeaveTheFileAlone) {
    using platform::fault::Effect;
    using platform::fault::Op;
    struct FaultCase {
        const char* name;
        Op op;
        Effect effect;
        uint32_t bytes;
        std::function<Bytes()> make;
        std::vector<std::string> log;
    };
    const FaultCase cases[] = {
        {"open fails",
         Op::Open,
         Effect::Fail,
         0,
         [] { return sample::BuildPe(4096); },
         {"[CommFunc::IsFilePE][66]Call CreateFile failed: 1117"}},
        {"size query fails",
         Op::Size,
         Effect::Fail,
         0,
         [] { return sample::BuildPe(4096); },
         {"[CommFunc::IsFilePE][71]Call GetFileSize failed: 1117"}},
        {"mapping fails",
         Op::Map,
         Effect::Fail,
         0,
         [] { return sample::BuildPe(4096); },
         {"[CommFunc::IsFilePE][79]Call CreateFileMapping failed: 1117"}},
        {"view fails",
         Op::View,
         Effect::Fail,
         0,
         [] { return sample::BuildPe(4096); },
         {"[CommFunc::IsFilePE][86]Call MapViewOfFile failed: 1117"}},
        // Views shorter than the file's pages: what lies past them is not read.
        {"view shorter than the header block",
         Op::View,
         Effect::Short,
         200,
         [] { return sample::BuildPe(4096); },
         {}},
        {"view shorter than the DOS header",
         Op::View,
         Effect::Short,
         40,
         [] { return sample::BuildPe(4096); },
         {}},
        {"view of one page, header on the second",
         Op::View,
         Effect::Short,
         4096,
         [] { return HeaderAt(8192, 6000); },
         {}},
        {"empty view", Op::View, Effect::Short, 0, [] { return sample::BuildPe(4096); }, {}},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes before = c.make();
        const PathString path = Make("faulted.exe", before);
        BOOL answer = TRUE;
        std::vector<std::string> lines;
        {
            testsupport::LogCapture log;
            platform::fault::Rule rule;
            rule.op = c.op;
            rule.effect = c.effect;
            rule.code = 1117;  // ERROR_IO_DEVICE
            rule.bytes = c.bytes;
            platform::fault::Scoped armed(rule);
            answer = CommFunc::IsFilePE(path.c_str());
            EXPECT_TRUE(platform::fault::Fired());
            lines = log.Lines();
        }
        EXPECT_FALSE(answer);
        EXPECT_EQ(c.log, lines);
        EXPECT_EQ(before, testsupport::ReadFile(path));
    }
}

// Only a sharing violation at the open is a file in use; every other code
// of the same call is the call's failure (every backend, through the seam).
TEST_F(IsFilePETest, OnlyASharingViolationAtTheOpenIsInUse) {
    struct InUseCase {
        const char* name;
        OsError code;
        bool in_use;
    };
    const InUseCase cases[] = {
        {"sharing violation", platform::kErrorSharingViolation, true},
        {"access denied", kWindows ? 5 : EACCES, false},
        {"device error", 1117, false},
    };
    const PathString path = Make("held.exe", sample::BuildPe(4096));
    const std::string in_use_line =
        "[ScanFolder][277]In use by the system, not examined:" + platform::PathText(path.c_str());
    for (const InUseCase& c : cases) {
        SCOPED_TRACE(c.name);
        ResetScanStats();
        std::vector<std::string> lines;
        {
            testsupport::LogCapture log;
            platform::fault::Rule rule;
            rule.op = platform::fault::Op::Open;
            rule.code = c.code;
            platform::fault::Scoped armed(rule);
            EXPECT_FALSE(CommFunc::IsFilePE(path.c_str()));
            lines = log.Lines();
        }
        const std::vector<std::string> expected = {
            c.in_use ? in_use_line
                     : "[CommFunc::IsFilePE][66]Call CreateFile failed: " + std::to_string(c.code)};
        EXPECT_EQ(expected, lines);
        const ScanStats stats = CurrentScanStats();
        EXPECT_EQ(c.in_use ? 1u : 0u, stats.in_use);
        EXPECT_EQ(c.in_use ? 0u : 1u, stats.unreadable);
    }
}

// A file listed again before its image test (a repair happened since the
// walk met it) is examined as the listing now says: one whose data went off
// the disk, or that became a link, is not opened and has the walk's line
// for it; any other is opened.
TEST_F(IsFilePETest, AFileListedAgainIsOpenedOnlyWhenItStillListsAsALocalFile) {
    constexpr uint32_t kArchive = 0x20;
    constexpr uint32_t kReparse = platform::kAttributeReparsePoint;
    struct ListedCase {
        const char* name;
        uint32_t attributes;
        uint32_t tag;
        const char* line;  // the walk's line before the path; null: opened
        bool image;
    };
    const ListedCase cases[] = {
        {"plain file", kArchive, 0, nullptr, true},
        {"deduplicated", kArchive | kReparse, 0x80000013, nullptr, true},
        {"gone offline", kArchive | platform::kAttributeOffline, 0,
         "[ScanFolder][299]Not local, not scanned:", false},
        {"now a cloud placeholder", kArchive | kReparse | platform::kAttributeRecallOnDataAccess,
         0x9000001A, "[ScanFolder][299]Not local, not scanned:", false},
        {"now a symbolic link", kArchive | kReparse, platform::kTagSymlink,
         "[ScanFolder][294]Link, not entered:", false},
    };
    const PathString path = Make("listed.exe", sample::BuildPe(4096));
    for (const ListedCase& c : cases) {
        SCOPED_TRACE(c.name);
        platform::FileRef ref(path.c_str());
        ref.listed = true;
        ref.listed_size_low = 4096;
        ref.listed_attributes = c.attributes;
        ref.reparse_tag = c.tag;
        ResetScanStats();
        ImageExam exam;
        std::vector<std::string> lines;
        uint32_t opens = 0;
        {
            testsupport::LogCapture log;
            platform::fault::Scoped counting;
            ExamineImage(ref, nullptr, &exam);
            opens = platform::fault::Calls(platform::fault::Op::Open);
            ReportImageExam(exam, path.c_str());
            lines = log.Lines();
        }
        EXPECT_EQ(c.image, exam.image);
        EXPECT_EQ(c.line == nullptr ? 1u : 0u, opens);
        if (c.line == nullptr) {
            EXPECT_TRUE(lines.empty());
        } else {
            EXPECT_EQ(std::vector<std::string>{c.line + platform::PathText(path.c_str())}, lines);
            EXPECT_EQ(1u, CurrentScanStats().not_scanned);
        }
    }
}

// A read of the view that fails (a disk error, a file cut on its server:
// Windows reads the view through ReadProcessMemory, so a page the system
// cannot bring in is a failed read, not the end of the scan): FALSE, the
// view's line, and the scan goes on.
TEST_F(IsFilePETest, AViewThatCannotBeReadIsTheViewsFailure) {
    struct ReadCase {
        const char* name;
        Bytes bytes;
        uint32_t nth;  // of the view's calls: 1 maps it, then each read
    };
    const ReadCase cases[] = {
        {"the DOS header's read", sample::BuildPe(4096), 2},
        {"the header block's read", sample::BuildPe(4096), 3},
        {"the read of a header block far into the file", HeaderAt(300000, 200001), 3},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const PathString path = Make("unreadable.exe", c.bytes);
        BOOL answer = TRUE;
        std::vector<std::string> lines;
        {
            testsupport::LogCapture log;
            platform::fault::Rule rule;
            rule.op = platform::fault::Op::View;
            rule.nth = c.nth;
            rule.code = 1117;  // ERROR_IO_DEVICE
            platform::fault::Scoped armed(rule);
            answer = CommFunc::IsFilePE(path.c_str());
            EXPECT_TRUE(platform::fault::Fired());
            lines = log.Lines();
        }
        EXPECT_FALSE(answer);
        EXPECT_EQ(
            std::vector<std::string>{"[CommFunc::IsFilePE][86]Call MapViewOfFile failed: 1117"},
            lines);
    }
}

TEST(SetDebugPrivilegeTest, LogsNoFailureWhereTheCallsWork) {
    testsupport::LogCapture log;
    CommFunc::SetDebugPrivilege();
    EXPECT_TRUE(log.Lines().empty());
}

}  // namespace
