// DisinfectFile on a read-only infected file (POSIX): root loses the
// capability that writes any file for the test, so the mode applies.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/file_access_posix.h"
#include "quarantine/disinfect_file.h"
#include "sample_builder/sample_builder.h"
#include "support/suite_fixture.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

const char* const kTestEntries[] = {sample::kTestSignature};
const SignatureList kTestList = {kTestEntries, 1};

TEST(DisinfectFilePosixTest, ReadOnlyInfectedFileIsCheckedQuarantinedAndThenAnError) {
    quarantinetest::SuiteRegistry registry;
    testsupport::TempDir dir;
    const sample::Sample sample = sample::BuildInfected(sample::BuildPe(4000));
    const PathString path = dir.Join("readonly.exe");
    testsupport::WriteFile(path, sample.infected);
    ASSERT_EQ(0, chmod(path.c_str(), 0444));

    ScanResult result = ScanResult::Safe;
    BOOL returned = TRUE;
    std::vector<std::string> lines;
    {
        testsupport::WithoutFileAccess lowered;
        ASSERT_TRUE(lowered.Ok());
        testsupport::LogCapture log;
        platform::FileRef file(path.c_str());
        DisinfectOptions options;
        options.signatures = &kTestList;
        returned = DisinfectFile(file, &result, options);
        lines = log.Lines();
    }
    EXPECT_FALSE(returned);
    EXPECT_EQ(ScanResult::Error, result);
    // The quarantine step ran (no suite here) before the repair failed.
    const std::vector<std::string> expected = {
        "[DruquaraWrap::Init][83]Call RegOpenKeyEx failed: 2",
        "[DruquaraWrap::QuarantineFile][147]Do init failed",
        "Call CreateFile failed: 0xd",  // EACCES, the repair's open for writing
    };
    EXPECT_EQ(expected, lines);
    EXPECT_EQ(sample.infected, testsupport::ReadFile(path));
}

}  // namespace
