// Every input a fuzz target ever failed on is kept under fuzz/regressions/,
// one folder per target, and replayed here through the target's own check:
// natively and in the 32-bit Windows build under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "oracle_file.h"
#include "oracles.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using Check = std::function<std::string(const uint8_t*, size_t, const std::filesystem::path&)>;

struct Target {
    const char* name;
    Check check;
};

std::vector<std::filesystem::path> KeptInputs(const char* target) {
    std::vector<std::filesystem::path> inputs;
    const std::filesystem::path folder = std::filesystem::path(ZQ_FUZZ_REGRESSIONS) / target;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file()) {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

TEST(FuzzReplayTest, KeptInputsPassTheirTargetsCheck) {
    const Target targets[] = {
        {"pe_check", fuzz_oracle::CheckPeCheck},
        {"window_check", fuzz_oracle::CheckWindowCheck},
        {"restore_host", fuzz_oracle::CheckRestoreHost},
    };
    testsupport::TempDir dir;
    // The checks' failed calls, if any, go to a log of their own.
    testsupport::LogCapture log;
    for (const Target& target : targets) {
        const std::vector<std::filesystem::path> inputs = KeptInputs(target.name);
        // A folder that is missing or unreadable would replay nothing.
        ASSERT_FALSE(inputs.empty())
            << "no kept inputs found for " << target.name << " under " << ZQ_FUZZ_REGRESSIONS;
        for (const std::filesystem::path& input : inputs) {
            SCOPED_TRACE(std::string(target.name) + "/" + input.filename().string());
            const fuzz_oracle::Bytes bytes = fuzz_oracle::ReadWorkFile(input);
            EXPECT_EQ("", target.check(bytes.data(), bytes.size(), dir.Join("work.bin")));
        }
    }
}

}  // namespace
