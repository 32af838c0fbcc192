// CheckInfection over files built around the test pattern, whose digest is
// the test signature.
#include "platform/file_ref.h"
#include "infect/check_infection.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <functional>
#include <string>
#include <vector>

#include "infect/md5_context.h"
#include "platform/fault_seam.h"
#include "platform/file.h"
#include "sample_builder/sample_builder.h"
#include "support/held_file.h"
#include "support/log_capture.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"

namespace {

using testsupport::Bytes;

using testsupport::kWindows;
constexpr BOOL kUntouched = 7;  // a value CheckInfection never writes

const char* const kTestEntries[] = {"101af5b2fdf61b4b0098101deccadf17", sample::kTestSignature};
const SignatureList kTestList = {kTestEntries, 2};

// `size` bytes of filler with the test pattern at 1024, cut at the end.
Bytes WithPattern(size_t size, uint32_t seed = 1) {
    Bytes bytes = testsupport::PatternBytes(size, seed);
    const Bytes& pattern = sample::TestWindowPattern();
    for (size_t i = 0; i < pattern.size() && 1024 + i < size; ++i) {
        bytes[1024 + i] = pattern[i];
    }
    return bytes;
}

Bytes Flip(Bytes bytes, size_t at) {
    bytes[at] ^= 0x01;
    return bytes;
}

struct ContentCase {
    const char* name;
    Bytes content;
    bool infected;
};

// How the check is given the file: by its path alone; as the walk lists it
// (the listing's size, never queried again); and with the window the image
// test held of it (never opened again), digested ahead on a reader or not.
enum class Way { ByPath, Listed, WindowHeld, WindowDigested };
const Way kWays[] = {Way::ByPath, Way::Listed, Way::WindowHeld, Way::WindowDigested};

const char* WayName(Way way) {
    switch (way) {
        case Way::ByPath:
            return "by its path";
        case Way::Listed:
            return "listed";
        case Way::WindowHeld:
            return "window held";
        case Way::WindowDigested:
            return "window held and digested";
    }
    return "?";
}

struct Checked {
    BOOL result = FALSE;
    BOOL infected = kUntouched;
    const char* matched = nullptr;
    uint32_t opens = 0;
    uint32_t size_queries = 0;
    uint32_t reads = 0;
    std::vector<std::string> lines;
};

// Checks a file holding `content` against `list`, given the `way` the walk
// would give it (the image test holds the window of a file of 2100 bytes
// and more), counting the calls the check makes.
Checked Check(const Bytes& content, Way way, const SignatureList& list) {
    testsupport::TempDir dir;
    const PathString path = dir.Join("f.exe");
    testsupport::WriteFile(path, content);
    platform::FileRef ref(path.c_str());
    HeldWindow window;
    if (way != Way::ByPath) {
        ref.listed = true;
        ref.listed_size_low = static_cast<uint32_t>(content.size());
    }
    if (way != Way::ByPath && way != Way::Listed && content.size() >= kSignatureWindowEnd) {
        window.held = true;
        std::copy(content.begin() + kSignatureWindowOffset, content.begin() + kSignatureWindowEnd,
                  window.bytes);
        if (way == Way::WindowDigested) {
            DigestHeldWindow(&window, list);
        }
    }
    Checked checked;
    testsupport::LogCapture log;
    platform::fault::Count();
    checked.result = CheckInfection(ref, &checked.infected, list, &checked.matched, &window);
    checked.opens = platform::fault::Calls(platform::fault::Op::Open);
    checked.size_queries = platform::fault::Calls(platform::fault::Op::Size);
    checked.reads = platform::fault::Calls(platform::fault::Op::Read);
    platform::fault::Disarm();
    checked.lines = log.Lines();
    return checked;
}

TEST(CheckInfectionTest, DecidesByTheWindowAloneHoweverTheFileIsGiven) {
    const ContentCase cases[] = {
        {"empty file", {}, false},
        {"2099 bytes with the pattern cut short", WithPattern(2099), false},
        {"exactly 2100 bytes, window is the last 1076", WithPattern(2100), true},
        {"pattern inside a larger file", WithPattern(9000), true},
        {"other bytes before the window", WithPattern(9000, 3), true},
        {"bytes 0..1023 all changed", Flip(Flip(WithPattern(9000), 0), 1023), true},
        {"byte 2100 changed", Flip(WithPattern(9000), 2100), true},
        {"first window byte changed", Flip(WithPattern(9000), 1024), false},
        {"middle window byte changed", Flip(WithPattern(9000), 1600), false},
        {"last window byte changed", Flip(WithPattern(9000), 2099), false},
        {"no pattern", testsupport::PatternBytes(9000, 4), false},
        {"an infected sample", sample::BuildInfected(sample::BuildPe(6000)).infected, true},
    };
    for (const Way way : kWays) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", " + WayName(way));
            const Checked checked = Check(c.content, way, kTestList);
            EXPECT_EQ(TRUE, checked.result);
            EXPECT_EQ(c.infected ? TRUE : kUntouched, checked.infected);
            EXPECT_EQ(c.infected ? kTestEntries[1] : nullptr, checked.matched);
            EXPECT_TRUE(checked.lines.empty());
            // What the walk gives is never asked of the system again: the
            // listed size, and a held window (the file is not opened).
            const bool windowed = c.content.size() >= kSignatureWindowEnd;
            const uint32_t opened = way == Way::ByPath || (way == Way::Listed && windowed) ? 1 : 0;
            EXPECT_EQ(opened, checked.opens);
            EXPECT_EQ(way == Way::ByPath ? 1u : 0u, checked.size_queries);
            EXPECT_EQ(opened == 1 && windowed ? 1u : 0u, checked.reads);
        }
    }
}

// The digest a check that read a short file anyway would compute: the
// file's bytes from 1024 on, then zeros up to the window's 1076 bytes.
std::string ZeroFilledWindowDigest(const Bytes& content) {
    uint8_t window[kSignatureWindowSize] = {};
    if (content.size() > kSignatureWindowOffset) {
        std::copy(content.begin() + kSignatureWindowOffset, content.end(), window);
    }
    MD5Context md5;
    md5.Init();
    md5.Update(window, sizeof(window));
    return md5.HexDigest();
}

// Files under 2100 bytes are clean without a read: a list naming the digest
// of their zero-filled window must not mark them.
TEST(CheckInfectionTest, FilesUnder2100BytesAreNeverRead) {
    const ContentCase cases[] = {
        {"500 bytes, window wholly past the end", testsupport::PatternBytes(500, 6), false},
        {"1024 bytes, window starts at the end", testsupport::PatternBytes(1024, 7), false},
        {"1500 bytes, window cut in the middle", WithPattern(1500), false},
        {"2099 bytes, window one byte short", WithPattern(2099), false},
    };
    for (const Way way : kWays) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", " + WayName(way));
            const std::string digest = ZeroFilledWindowDigest(c.content);
            const char* const entries[] = {digest.c_str()};
            const Checked checked = Check(c.content, way, {entries, 1});
            EXPECT_EQ(TRUE, checked.result);
            EXPECT_EQ(kUntouched, checked.infected);
            EXPECT_EQ(0u, checked.reads);
            EXPECT_TRUE(checked.lines.empty());
        }
    }
}

TEST(CheckInfectionTest, NeverClearsTheFlag) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.Join("clean.exe"), testsupport::PatternBytes(5000, 5));
    BOOL infected = TRUE;
    const PathString file_path = dir.Join("clean.exe");
    platform::FileRef file_ref(file_path.c_str());
    EXPECT_EQ(TRUE, CheckInfection(file_ref, &infected, kTestList));
    EXPECT_EQ(TRUE, infected);
}

TEST(CheckInfectionTest, ComparesCaseSensitively) {
    std::string upper = sample::kTestSignature;
    for (char& ch : upper) {
        ch = static_cast<char>(ch >= 'a' && ch <= 'f' ? ch - 'a' + 'A' : ch);
    }
    const char* const entries[] = {upper.c_str()};
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.Join("f.exe"), WithPattern(4096));
    BOOL infected = kUntouched;
    const PathString file_path = dir.Join("f.exe");
    platform::FileRef file_ref(file_path.c_str());
    EXPECT_EQ(TRUE, CheckInfection(file_ref, &infected, {entries, 1}));
    EXPECT_EQ(kUntouched, infected);
}

// The one-argument call uses the build's own list: the production digest
// alone, so the test pattern is clean; only a build configured with the
// samples' signature marks it.
TEST(CheckInfectionTest, ProductionListDecidesTheOneArgumentCall) {
#ifdef ZQ_TEST_SIGNATURE_IN_BUILD
    const BOOL expected =
        std::string(ZQ_TEST_SIGNATURE_IN_BUILD) == sample::kTestSignature ? TRUE : kUntouched;
#else
    const BOOL expected = kUntouched;
#endif
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.Join("f.exe"), WithPattern(4096));
    testsupport::LogCapture log;
    BOOL infected = kUntouched;
    EXPECT_EQ(TRUE, CheckInfection(dir.Join("f.exe").c_str(), &infected));
    EXPECT_EQ(expected, infected);
    EXPECT_TRUE(log.Lines().empty());
}

TEST(CheckInfectionTest, FailedOpenLogsTheErrorInHex) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.Join("plain"), std::string("a file, not a folder"));
    const std::string expected =
        "Call CreateFile failed: " + testsupport::Hex(testsupport::kErrBelowAFile);
    const std::string missing =
        "Call CreateFile failed: " + testsupport::Hex(testsupport::kErrFileNotFound);

    struct {
        const char* name;
        std::string line;
    } cases[] = {{"plain/child.exe", expected}, {"absent.exe", missing}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::LogCapture log;
        BOOL infected = kUntouched;
        const PathString file_path = dir.Join(c.name);
        platform::FileRef file_ref(file_path.c_str());
        EXPECT_EQ(FALSE, CheckInfection(file_ref, &infected, kTestList));
        EXPECT_EQ(kUntouched, infected);
        EXPECT_EQ(std::vector<std::string>{c.line}, log.Lines());
    }
}

TEST(CheckInfectionTest, FileLockedWithoutSharingFails) {
    if (!kWindows) {
        GTEST_SKIP() << "POSIX has no mandatory share modes";
    }
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.Join("locked.exe"), WithPattern(4096));
    platform::File holder;
    ASSERT_TRUE(testsupport::OpenHeld(&holder, dir.Join("locked.exe").c_str(),
                                      testsupport::Hold::Exclusive));
    testsupport::LogCapture log;
    BOOL infected = kUntouched;
    const PathString file_path = dir.Join("locked.exe");
    platform::FileRef file_ref(file_path.c_str());
    EXPECT_EQ(FALSE, CheckInfection(file_ref, &infected, kTestList));
    EXPECT_EQ(kUntouched, infected);
    // ERROR_SHARING_VIOLATION, 32.
    EXPECT_EQ(std::vector<std::string>{"Call CreateFile failed: 0x20"}, log.Lines());
}

}  // namespace
