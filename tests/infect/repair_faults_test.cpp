// Every failure point of the file handling that examines and rewrites users'
// files, reached through the file layer's injected-fault seam: the image
// test, the signature check and the repair. After each fault the file is
// byte-identical (or, once the host's head is written and only the cut
// failed, the host followed by the saved head and trailer), the result is a
// failure, and the log holds exactly the step's one line. Also: the repair's
// own check of the window, and a file that changes between the check and
// the repair.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_ref.h"
#include "infect/check_infection.h"
#include "infect/restore_host.h"
#include "platform/fault_seam.h"
#include "platform/file.h"
#include "sample_builder/sample_builder.h"
#include "scan/comm_func.h"
#include "support/held_file.h"
#include "support/log_capture.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"
#include "check_then_repair.h"

namespace {

using platform::fault::Effect;
using platform::fault::Op;
using platform::fault::Rule;
using platform::fault::Scoped;
using sample::Bytes;
using Lines = std::vector<std::string>;

using testsupport::kWindows;
// An OS code no real step of these tests produces (ERROR_GEN_FAILURE /
// EMLINK).
constexpr OsError kInjected = 31;

const char* const kTestEntries[] = {sample::kTestSignature};
const SignatureList kTestList = {kTestEntries, 1};

std::string Hex(OsError code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(code));
    return text;
}

// The infection analysis' line for a failed step of `op`.
std::string LineFor(Op op, OsError code) {
    switch (op) {
        case Op::Open:
            return "Call CreateFile failed: " + Hex(code);
        case Op::Size:
            return "Call GetFileSize failed: " + Hex(code);
        case Op::Seek:
            return "Call SetFilePointer failed: " + Hex(code);
        case Op::Read:
            return "Call ReadFile failed: " + Hex(code);
        case Op::Write:
            return "Call WriteFile failed: " + Hex(code);
        case Op::Truncate:
            return "Call SetEndOfFile failed: " + Hex(code);
        default:
            return "<no line>";
    }
}

const std::string kChangedLine = "File changed since it was checked, nothing written";

Rule Failing(Op op, uint32_t nth, OsError code = kInjected) {
    Rule rule;
    rule.op = op;
    rule.nth = nth;
    rule.effect = Effect::Fail;
    rule.code = code;
    return rule;
}

Rule Shortened(Op op, uint32_t nth, uint32_t bytes) {
    Rule rule;
    rule.op = op;
    rule.nth = nth;
    rule.effect = Effect::Short;
    rule.bytes = bytes;
    return rule;
}

class RepairFaultsTest : public ::testing::Test {
  protected:
    testsupport::TempDir dir_;
    PathString path_ = dir_.Join("infected.exe");
    Bytes host_ = sample::BuildPe(5000, sample::PeOptions{false, false, 5000});
    sample::Sample sample_ = sample::BuildInfected(host_);

    void SetUp() override { testsupport::WriteFile(path_, sample_.infected); }

    Bytes Now() const { return testsupport::ReadFile(path_); }

    // The state a written head and a missing cut leave: the host, then the
    // infected file's bytes from HeadOffset on (saved head and trailer).
    Bytes HeadWrittenUncut() const {
        Bytes bytes = host_;
        bytes.insert(bytes.end(), sample_.infected.begin() + sample_.head_offset,
                     sample_.infected.end());
        return bytes;
    }

    // Runs the repair with `rule` armed (none: calls only counted). The log
    // starts before the rule is armed: its own file handling is not counted.
    BOOL Repair(Lines* lines, const Rule* rule = nullptr) {
        testsupport::LogCapture log;
        BOOL result;
        {
            std::unique_ptr<Scoped> armed(rule != nullptr ? new Scoped(*rule) : new Scoped());
            platform::FileRef file_ref(path_.c_str());
            result = RestoreHost(file_ref, kTestList);
            fired_ = platform::fault::Fired();
        }
        *lines = log.Lines();
        return result;
    }
    bool fired_ = false;
};

TEST_F(RepairFaultsTest, EveryFailurePointOfTheRepair) {
    // Each call the repair makes, in order. A failure before the head write
    // leaves the file as it was; after it, the host's head is written and
    // the file uncut.
    struct Point {
        Op op;
        uint32_t nth;
        const char* step;
        bool head_written;
    };
    const Point points[] = {
        {Op::Open, 1, "open", false},
        {Op::Seek, 1, "seek to the trailer", false},
        {Op::Read, 1, "trailer read", false},
        {Op::Size, 1, "size", false},
        {Op::Seek, 2, "seek to the window", false},
        {Op::Read, 2, "window read", false},
        {Op::Seek, 3, "seek to the saved head", false},
        {Op::Read, 3, "saved-head read", false},
        {Op::Seek, 4, "seek to the bytes the write covers", false},
        {Op::Read, 4, "read of the bytes the write covers", false},
        {Op::Seek, 5, "seek to the start for the write", false},
        {Op::Write, 1, "head write", false},
        {Op::Seek, 6, "seek to the cut", true},
        {Op::Truncate, 1, "cut", true},
    };

    // The table names every call a successful repair makes.
    {
        Lines lines;
        ASSERT_EQ(TRUE, Repair(&lines));
        ASSERT_TRUE(lines.empty());
        for (Op op : {Op::Open, Op::Size, Op::Seek, Op::Read, Op::Write, Op::Truncate}) {
            uint32_t last = 0;
            for (const Point& p : points) {
                if (p.op == op && p.nth > last) {
                    last = p.nth;
                }
            }
            EXPECT_EQ(last, platform::fault::Calls(op)) << "a call the table does not name";
        }
        testsupport::WriteFile(path_, sample_.infected);
    }

    for (const Point& p : points) {
        SCOPED_TRACE(p.step);
        const Bytes expected = p.head_written ? HeadWrittenUncut() : sample_.infected;
        std::vector<Rule> rules = {Failing(p.op, p.nth)};
        std::vector<std::string> expected_lines = {LineFor(p.op, kInjected)};
        if (p.op == Op::Read || p.op == Op::Write) {
            // A short transfer, and one cut off part way by an error.
            rules.push_back(Shortened(p.op, p.nth, 40));
            expected_lines.push_back(LineFor(p.op, platform::kErrorShortTransfer));
            Rule cut_off = Failing(p.op, p.nth);
            cut_off.bytes = 40;
            rules.push_back(cut_off);
            expected_lines.push_back(LineFor(p.op, kInjected));
        }
        for (size_t i = 0; i < rules.size(); ++i) {
            SCOPED_TRACE(i);
            testsupport::WriteFile(path_, sample_.infected);
            Lines lines;
            EXPECT_EQ(FALSE, Repair(&lines, &rules[i]));
            EXPECT_TRUE(fired_);
            EXPECT_EQ(Lines{expected_lines[i]}, lines);
            EXPECT_TRUE(expected == Now());
        }
    }
}

TEST_F(RepairFaultsTest, AHeadWrittenButNotCutIsNoLongerInfected) {
    Lines lines;
    const Rule cut_fails = Failing(Op::Truncate, 1);
    ASSERT_EQ(FALSE, Repair(&lines, &cut_fails));
    ASSERT_TRUE(HeadWrittenUncut() == Now());
    BOOL infected = FALSE;
    platform::FileRef file_ref(path_.c_str());
    EXPECT_EQ(TRUE, CheckInfection(file_ref, &infected, kTestList));
    EXPECT_EQ(FALSE, infected);
}

// Both the head write and the write-back fail: the only case that can leave
// a damaged head, and it says so.
TEST_F(RepairFaultsTest, AFailedWriteBackIsLogged) {
    Rule first = Failing(Op::Write, 1);
    first.bytes = 100;
    first.before = [] { platform::fault::Arm(Failing(Op::Write, 1)); };
    Lines lines;
    EXPECT_EQ(FALSE, Repair(&lines, &first));
    EXPECT_EQ((Lines{LineFor(Op::Write, kInjected),
                     "Could not write back the file's first 5000 bytes: " + Hex(kInjected)}),
              lines);
}

TEST_F(RepairFaultsTest, EveryFailurePointOfTheCheck) {
    struct Point {
        Op op;
        const char* step;
    };
    const Point points[] = {
        {Op::Open, "open"}, {Op::Size, "size"}, {Op::Seek, "seek"}, {Op::Read, "read"}};
    for (const Point& p : points) {
        SCOPED_TRACE(p.step);
        BOOL infected = FALSE;
        testsupport::LogCapture log;
        {
            Scoped armed(Failing(p.op, 1));
            platform::FileRef file_ref(path_.c_str());
            EXPECT_EQ(FALSE, CheckInfection(file_ref, &infected, kTestList));
        }
        EXPECT_EQ(FALSE, infected);
        EXPECT_EQ(Lines{LineFor(p.op, kInjected)}, log.Lines());
    }
    // A short read of the window is digested with zeros for the missing
    // bytes, as the check always did: no match, so the file counts as clean.
    BOOL infected = FALSE;
    {
        Scoped armed(Shortened(Op::Read, 1, 1000));
        platform::FileRef file_ref(path_.c_str());
        EXPECT_EQ(TRUE, CheckInfection(file_ref, &infected, kTestList));
    }
    EXPECT_EQ(FALSE, infected);
    EXPECT_TRUE(sample_.infected == Now());
}

TEST_F(RepairFaultsTest, FileLevelFailuresOfTheImageTest) {
    struct Point {
        Op op;
        std::string line;
    };
    const Point points[] = {
        {Op::Open, "[CommFunc::IsFilePE][66]Call CreateFile failed: 31"},
        {Op::Size, "[CommFunc::IsFilePE][71]Call GetFileSize failed: 31"},
    };
    for (const Point& p : points) {
        SCOPED_TRACE(p.line);
        testsupport::LogCapture log;
        {
            Scoped armed(Failing(p.op, 1));
            EXPECT_EQ(FALSE, CommFunc::IsFilePE(path_.c_str()));
        }
        EXPECT_EQ(Lines{p.line}, log.Lines());
    }
    EXPECT_TRUE(sample_.infected == Now());
}

// The repair reads the window again through its own handle and writes
// nothing unless it still matches.
TEST_F(RepairFaultsTest, TheRepairWritesOnlyAFileWhoseWindowStillMatches) {
    struct Case {
        const char* name;
        Bytes content;
    };
    Bytes other_window = sample_.infected;
    other_window[sample::kWindowOffset + 500] ^= 0x01;
    sample::InfectOptions no_window;
    no_window.window.clear();
    const Case cases[] = {
        {"one window byte changed", other_window},
        {"valid trailer, no window", sample::BuildInfected(host_, no_window).infected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteFile(path_, c.content);
        Lines lines;
        EXPECT_EQ(FALSE, Repair(&lines));
        EXPECT_EQ(Lines{kChangedLine}, lines);
        EXPECT_TRUE(c.content == Now());
    }
}

// On Windows the repair shares the file for reading only, so nobody can
// write it between the repair's own check and the cut: a file another
// handle holds open for writing fails the open with a sharing violation.
// POSIX has no such lock, and the repair goes ahead.
TEST_F(RepairFaultsTest, AFileOpenForWritingElsewhereIsNotRepairedOnWindows) {
    platform::File writer;
    ASSERT_TRUE(testsupport::OpenHeld(&writer, path_.c_str(), testsupport::Hold::Update));
    Lines lines;
    const BOOL result = Repair(&lines);
    writer.Close();
    if (kWindows) {
        EXPECT_EQ(FALSE, result);
        EXPECT_EQ(Lines{"Call CreateFile failed: 0x20"}, lines);
        EXPECT_TRUE(sample_.infected == Now());
    } else {
        EXPECT_EQ(TRUE, result);
        EXPECT_TRUE(host_ == Now());
    }
}

// The file is changed after the check found it infected (as a quarantine
// step, the infector or any other process may do) and before the repair
// opens it: nothing the repair did not verify is written.
TEST_F(RepairFaultsTest, AFileChangedBetweenTheCheckAndTheRepair) {
    sample::InfectOptions no_window;
    no_window.window.clear();
    const Bytes valid_trailer_other_window = sample::BuildInfected(host_, no_window).infected;
    const Bytes cut_to_3000(sample_.infected.begin(), sample_.infected.begin() + 3000);

    struct Case {
        const char* name;
        std::function<void()> change;
        Bytes after;  // the file afterwards: exactly what the change left
        bool expect_changed_line;
    };
    const Case cases[] = {
        {"overwritten in place", [&] { testsupport::WriteFile(path_, valid_trailer_other_window); },
         valid_trailer_other_window, true},
        {"cut to 3000 bytes", [&] { testsupport::WriteFile(path_, cut_to_3000); }, cut_to_3000,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteFile(path_, sample_.infected);
        platform::FileRef file(path_.c_str());
        infecttest::CheckedRepair repair;
        ASSERT_NO_FATAL_FAILURE(infecttest::CheckThenRepair(file, kTestList, c.change, &repair));
        EXPECT_EQ(FALSE, repair.result);
        ASSERT_EQ(1u, repair.lines.size());
        if (c.expect_changed_line) {
            EXPECT_EQ(kChangedLine, repair.lines[0]);
        }
        EXPECT_TRUE(c.after == Now());
    }
}

}  // namespace
