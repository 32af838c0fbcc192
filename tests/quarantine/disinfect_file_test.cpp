// DisinfectFile: the result of each outcome, the repair of infected files,
// and when the one quarantine-library instance comes to life.
#include "quarantine/disinfect_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "infect/md5_context.h"
#include "platform/file.h"
#include "sample_builder/sample_builder.h"
#include "support/held_file.h"
#include "support/suite_fixture.h"
#include "support/log_capture.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"

namespace {

using testsupport::Bytes;

using testsupport::kWindows;
using Lines = std::vector<std::string>;

const char* const kTestEntries[] = {sample::kTestSignature};
const SignatureList kTestList = {kTestEntries, 1};

const std::string kRegistryLine = "[DruquaraWrap::Init][83]Call RegOpenKeyEx failed: 2";
const std::string kNoLibraryLine = "[DruquaraWrap::QuarantineFile][147]Do init failed";

struct Outcome {
    BOOL returned;
    ScanResult result;
    Lines log;
};

// DisinfectFile on `path` with `list` (the test signature alone unless
// given), running `before_changes` (optional) between the check and the
// quarantine call.
Outcome Disinfect(const PathString& path, const SignatureList& list = kTestList,
                  std::function<void()> before_changes = nullptr) {
    testsupport::LogCapture log;
    Outcome outcome;
    outcome.result = static_cast<ScanResult>(7);  // overwritten on every path
    platform::FileRef file(path.c_str());
    DisinfectOptions options;
    options.signatures = &list;
    options.before_changes = std::move(before_changes);
    outcome.returned = DisinfectFile(file, &outcome.result, options);
    outcome.log = log.Lines();
    return outcome;
}

bool Mentions(const Lines& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

// The quarantine instance lives for the whole process, so the whole story
// is one test, in order: clean and unreadable files first, then two
// infected ones (the suite's key absent).
TEST(DisinfectFileTest, ResultsAndTheQuarantineInstanceOfARun) {
    quarantinetest::SuiteRegistry registry;
    ASSERT_TRUE(registry.Usable());
    testsupport::TempDir dir;

    // A clean image, and one too small to carry the infection: Safe.
    for (const uint32_t size : {8192u, 2099u}) {
        SCOPED_TRACE(size);
        const PathString path = dir.Join("clean" + std::to_string(size) + ".exe");
        testsupport::WriteFile(path, sample::BuildPe(size));
        const Outcome clean = Disinfect(path);
        EXPECT_TRUE(clean.returned);
        EXPECT_EQ(ScanResult::Safe, clean.result);
        EXPECT_TRUE(clean.log.empty());
        EXPECT_EQ(sample::BuildPe(size), testsupport::ReadFile(path));
    }

    // A file the check cannot open: Error, and still no quarantine.
    const Outcome missing = Disinfect(dir.Join("gone.exe"));
    EXPECT_FALSE(missing.returned);
    EXPECT_EQ(ScanResult::Error, missing.result);
    EXPECT_FALSE(Mentions(missing.log, "DruquaraWrap"));

    // The first infected file creates the instance, which finds no suite;
    // the file is repaired all the same.
    const sample::Sample first = sample::BuildInfected(sample::BuildPe(6000, {false, false, 3}));
    const PathString first_path = dir.Join("first.exe");
    testsupport::WriteFile(first_path, first.infected);
    const Outcome fixed = Disinfect(first_path);
    EXPECT_TRUE(fixed.returned);
    EXPECT_EQ(ScanResult::Fixed, fixed.result);
    EXPECT_EQ(first.repaired, testsupport::ReadFile(first_path));
    const size_t registry_at = static_cast<size_t>(
        std::find(fixed.log.begin(), fixed.log.end(), kRegistryLine) - fixed.log.begin());
    const size_t no_library_at = static_cast<size_t>(
        std::find(fixed.log.begin(), fixed.log.end(), kNoLibraryLine) - fixed.log.begin());
    EXPECT_LT(registry_at, no_library_at);
    EXPECT_LT(no_library_at, fixed.log.size());

    // The second infected file: the registry is not read again.
    const sample::Sample second = sample::BuildInfected(sample::BuildPe(3000, {false, true, 4}));
    const PathString second_path = dir.Join("second.exe");
    testsupport::WriteFile(second_path, second.infected);
    const Outcome fixed_again = Disinfect(second_path);
    EXPECT_EQ(ScanResult::Fixed, fixed_again.result);
    EXPECT_EQ(second.repaired, testsupport::ReadFile(second_path));
    EXPECT_FALSE(Mentions(fixed_again.log, "RegOpenKeyEx"));
    EXPECT_TRUE(Mentions(fixed_again.log, kNoLibraryLine));
}

// An infected file whose trailer cannot be followed is not repaired: Error,
// the repair's line last, and the file is left as it was.
TEST(DisinfectFileTest, FailedRepairIsAnError) {
    const struct {
        const char* name;
        std::optional<uint32_t> head_offset;
        std::optional<uint32_t> head_end;
        std::string last_line_start;
    } cases[] = {
        {"saved head reaches 1 MiB past the end of the file", 3000u, 0x00100000u,
         "May get invalid info"},
        {"head length wraps past 2^31 and is never allocated", 0x7FFFFFF0u, std::nullopt,
         "Call HeapAlloc to alloc "},
    };
    quarantinetest::SuiteRegistry registry;
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sample::InfectOptions options;
        options.head_offset_field = c.head_offset;
        options.head_end_field = c.head_end;
        const sample::Sample broken = sample::BuildInfected(sample::BuildPe(4000), options);
        const PathString path = dir.Join("broken.exe");
        testsupport::WriteFile(path, broken.infected);
        const Outcome outcome = Disinfect(path);
        EXPECT_FALSE(outcome.returned);
        EXPECT_EQ(ScanResult::Error, outcome.result);
        ASSERT_FALSE(outcome.log.empty());
        EXPECT_EQ(0u, outcome.log.back().rfind(c.last_line_start, 0)) << outcome.log.back();
        EXPECT_EQ(broken.infected, testsupport::ReadFile(path));
    }
}

// The repair writes a file only while it carries the very window the check
// matched, not merely one the list names: a file whose window is changed
// from one listed window to another after the check (the quarantine call
// runs in between) is left as it is.
TEST(DisinfectFileTest, TheRepairWantsTheWindowTheCheckMatched) {
    quarantinetest::SuiteRegistry registry;
    testsupport::TempDir dir;
    const Bytes other_window = testsupport::PatternBytes(kSignatureWindowSize, 11);
    MD5Context md5;
    md5.Init();
    md5.Update(other_window.data(), kSignatureWindowSize);
    md5.Final();
    const std::string other_signature = md5.HexDigest();
    const char* const entries[] = {sample::kTestSignature, other_signature.c_str()};
    const SignatureList both = {entries, 2};

    const sample::Sample infected = sample::BuildInfected(sample::BuildPe(6000, {false, false, 5}));
    Bytes changed = infected.infected;
    std::copy(other_window.begin(), other_window.end(), changed.begin() + kSignatureWindowOffset);
    const PathString path = dir.Join("changed.exe");
    testsupport::WriteFile(path, infected.infected);
    const Outcome outcome = Disinfect(path, both, [&] { testsupport::WriteFile(path, changed); });
    EXPECT_FALSE(outcome.returned);
    EXPECT_EQ(ScanResult::Error, outcome.result);
    ASSERT_FALSE(outcome.log.empty());
    EXPECT_EQ("File changed since it was checked, nothing written", outcome.log.back());
    EXPECT_EQ(changed, testsupport::ReadFile(path));
}

// An infected file that can be read but not written: checked, handed to
// quarantine, and then the repair fails at its open: Error, the open's line
// last, file unchanged. On Windows another reader holds the file and lets no
// writer in (root under Wine writes read-only files); the POSIX read-only
// case is in disinfect_file_posix_test.cpp, where root must first lose the
// capability that writes any file.
TEST(DisinfectFileTest, ReadOnlyInfectedFileIsAnError) {
    if (!kWindows) {
        GTEST_SKIP() << "see the POSIX test";
    }
    quarantinetest::SuiteRegistry registry;
    testsupport::TempDir dir;
    const sample::Sample sample = sample::BuildInfected(sample::BuildPe(4000));
    const PathString path = dir.Join("readonly.exe");
    testsupport::WriteFile(path, sample.infected);
    platform::File reader;
    ASSERT_TRUE(testsupport::OpenHeld(&reader, path.c_str(), testsupport::Hold::KeepWriters));
    const Outcome outcome = Disinfect(path);
    EXPECT_FALSE(outcome.returned);
    EXPECT_EQ(ScanResult::Error, outcome.result);
    EXPECT_TRUE(Mentions(outcome.log, kNoLibraryLine));
    ASSERT_FALSE(outcome.log.empty());
    EXPECT_EQ("Call CreateFile failed: 0x20", outcome.log.back());  // ERROR_SHARING_VIOLATION
    reader.Close();
    EXPECT_EQ(sample.infected, testsupport::ReadFile(path));
}

}  // namespace
