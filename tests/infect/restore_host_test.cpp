// RestoreHost over infected files made by the sample builder and over
// hand-made trailers.
#include "platform/file_ref.h"
#include "infect/restore_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "infect/check_infection.h"
#include "infect/md5_context.h"
#include "platform/file.h"
#include "sample_builder/sample_builder.h"
#include "support/held_file.h"
#include "support/log_capture.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"

namespace {

using sample::Bytes;
using Lines = std::vector<std::string>;

using testsupport::kWindows;
// A seek before the start of the file.
const std::string kNegativeSeekLine =
    "Call SetFilePointer failed: " + testsupport::Hex(testsupport::kErrNegativeSeek);

void StoreLe32(Bytes& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// The digest of `content`'s own window (zeros past its end): the repair's
// window check passes for any content, so these cases reach the steps they
// are about. The window check has its own tests.
std::string OwnWindowDigest(const Bytes& content) {
    uint8_t window[kSignatureWindowSize] = {};
    for (uint32_t i = 0; i < kSignatureWindowSize && kSignatureWindowOffset + i < content.size();
         ++i) {
        window[i] = content[kSignatureWindowOffset + i];
    }
    MD5Context md5;
    md5.Init();
    md5.Update(window, sizeof(window));
    md5.Final();
    return md5.HexDigest();
}

// Runs RestoreHost on `content` in a fresh folder; returns the result, the
// file afterwards and the log lines.
struct Outcome {
    BOOL result;
    Bytes after;
    Lines lines;
};

Outcome Repair(const Bytes& content) {
    testsupport::TempDir dir;
    const PathString path = dir.Join("infected.exe");
    testsupport::WriteFile(path, content);
    const std::string digest = OwnWindowDigest(content);
    const char* const entries[] = {digest.c_str()};
    testsupport::LogCapture log;
    Outcome outcome;
    platform::FileRef file_ref(path.c_str());
    outcome.result = RestoreHost(file_ref, SignatureList{entries, 1});
    outcome.lines = log.Lines();
    outcome.after = testsupport::ReadFile(path);
    return outcome;
}

Bytes Host(uint32_t size, bool zm = false) {
    return sample::BuildPe(size, sample::PeOptions{false, zm, size});
}

sample::InfectOptions Options(std::optional<uint32_t> head_length, uint32_t garbage = 0,
                              uint32_t into_trailer = 0, bool window = true) {
    sample::InfectOptions options;
    options.head_length = head_length;
    options.garbage = garbage;
    options.into_trailer = into_trailer;
    if (!window) {
        options.window.clear();
    }
    return options;
}

struct LayoutCase {
    const char* name;
    Bytes host;
    sample::InfectOptions options;
    bool restores_host;  // the repaired file equals the host byte for byte
};

TEST(RestoreHostTest, RepairsEveryLayout) {
    const LayoutCase cases[] = {
        {"whole host saved", Host(5000), Options(std::nullopt), true},
        {"head of 4096 (longer than 768)", Host(9000), Options(4096), true},
        {"head of exactly 768", Host(5000), Options(768, 0, 0, false), true},
        {"head of 769", Host(5000), Options(769, 0, 0, false), true},
        {"head of 300 (shorter than 768)", Host(5000), Options(300, 0, 0, false), true},
        {"head of 2 bytes", Host(5000), Options(2, 0, 0, false), true},
        {"head of 100 under a 2100-byte infector", Host(5000), Options(100), false},
        {"head longer than HeadOffset", Host(3000), Options(7000), true},
        {"host of 2100 bytes, head longer than HeadOffset", Host(2100), Options(3000, 0, 0, false),
         true},
        {"garbage after HeadEnd", Host(5000), Options(std::nullopt, 3333), true},
        {"head reaching 20 bytes into the trailer", Host(5000), Options(std::nullopt, 0, 20),
         false},
        {"head reaching 48 bytes into the trailer", Host(5000), Options(4000, 0, 48), false},
        {"\"ZM\" host", Host(5000, true), Options(std::nullopt), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const sample::Sample infected = sample::BuildInfected(c.host, c.options);
        const Outcome outcome = Repair(infected.infected);
        EXPECT_EQ(TRUE, outcome.result);
        EXPECT_TRUE(outcome.lines.empty());
        EXPECT_EQ(infected.head_offset, outcome.after.size());
        EXPECT_TRUE(infected.repaired == outcome.after);
        if (c.restores_host) {
            EXPECT_TRUE(c.host == outcome.after);
        }
    }
}

// A hand-made saved head and trailer, independent of the sample builder:
// stored bytes 0 except where noted, so each restored byte shows its key byte.
TEST(RestoreHostTest, UnscrambleUsesTheTrailersFirst16BytesAsKey) {
    const uint32_t head_offset = 0x0A0B;  // 2571
    const uint32_t length = 800;
    const uint32_t head_end = head_offset + length;
    Bytes file(head_offset, 0xEE);
    Bytes head(length, 0);
    Bytes trailer(48, 0);
    const uint8_t key_fill[8] = {0x11, 0x00, 0x00, 0x00, 0x00, 0x5C, 0x6D, 0x7E};
    std::memcpy(&trailer[0], key_fill, 4);
    StoreLe32(trailer, 4, head_offset);
    StoreLe32(trailer, 8, head_end);
    std::memcpy(&trailer[12], key_fill + 4, 4);
    for (size_t i = 16; i < 48; ++i) {
        trailer[i] = static_cast<uint8_t>(0xA0 + i);  // never a key byte
    }
    auto rotate_right3 = [](uint8_t v) { return static_cast<uint8_t>((v >> 3) | (v << 5)); };
    head[0] = rotate_right3('M' ^ 0x11);
    head[1] = rotate_right3('Z' ^ 0x00);
    head[2] = 0x80;    // key byte 0: rotation alone gives 0x04
    head[3] = 0x21;    // 0x09
    head[12] = 0xFF;   // key byte 12 is 0: 0xFF
    head[767] = 0x01;  // last scrambled byte: 0x08 ^ key[15]
    head[768] = 0x80;  // first byte stored as it is
    head[799] = 0x21;
    file.insert(file.end(), head.begin(), head.end());
    file.insert(file.end(), trailer.begin(), trailer.end());

    const Outcome outcome = Repair(file);
    ASSERT_EQ(TRUE, outcome.result) << (outcome.lines.empty() ? "" : outcome.lines[0]);
    ASSERT_EQ(head_offset, outcome.after.size());
    const Bytes& out = outcome.after;
    EXPECT_EQ('M', out[0]);
    EXPECT_EQ('Z', out[1]);
    EXPECT_EQ(0x04, out[2]);
    EXPECT_EQ(0x09, out[3]);
    EXPECT_EQ(0x0B, out[4]);  // lowest byte of HeadOffset
    EXPECT_EQ(0x0A, out[5]);
    EXPECT_EQ(static_cast<uint8_t>(head_end), out[8]);  // lowest byte of HeadEnd
    EXPECT_EQ(static_cast<uint8_t>(head_end >> 8), out[9]);
    EXPECT_EQ(0xFF, out[12]);
    EXPECT_EQ(0x5C, out[13]);
    EXPECT_EQ(0x7E, out[15]);
    EXPECT_EQ(0x11, out[16]);  // position 16 reuses key byte 0
    EXPECT_EQ(0x0B, out[20]);
    EXPECT_EQ(0x11, out[32]);
    EXPECT_EQ(0x08 ^ 0x7E, out[767]);
    EXPECT_EQ(0x80, out[768]);
    EXPECT_EQ(0x21, out[799]);
    EXPECT_EQ(0xEE, out[800]);  // the host bytes behind the head stay
    EXPECT_EQ(0xEE, out[head_offset - 1]);
}

TEST(RestoreHostTest, TrailerBytes16To47HaveNoInfluence) {
    const Bytes host = Host(6000);
    sample::InfectOptions plain = Options(4000);
    sample::InfectOptions noisy = Options(4000);
    for (size_t i = 0; i < noisy.trailer_tail.size(); ++i) {
        noisy.trailer_tail[i] = static_cast<uint8_t>(0xFF - 7 * i);
    }
    const Outcome first = Repair(sample::BuildInfected(host, plain).infected);
    const Outcome second = Repair(sample::BuildInfected(host, noisy).infected);
    EXPECT_EQ(TRUE, first.result);
    EXPECT_EQ(TRUE, second.result);
    EXPECT_TRUE(host == first.after);
    EXPECT_TRUE(host == second.after);
}

// Every refusal or failure before the write: FALSE, one line, file unchanged.
struct RefusalCase {
    const char* name;
    Bytes content;
    std::string line;
};

Bytes WithTrailerFields(uint32_t head_offset, uint32_t head_end) {
    sample::InfectOptions options;
    options.head_offset_field = head_offset;
    options.head_end_field = head_end;
    return sample::BuildInfected(Host(5000), options).infected;
}

// A 5000-byte file whose trailer places a saved head of `length` bytes at
// `head_offset` that unscrambles to `start` ("MZ" unless given): every other
// test of the repair passes, only the place of the head or its start is
// wrong.
Bytes WithHeadAt(uint32_t head_offset, uint32_t length, const char (&start)[3] = "MZ") {
    Bytes bytes(5000, 0x5A);
    const size_t trailer = bytes.size() - 48;
    const uint8_t key_fill[4] = {0x3D, 0xA7, 0x10, 0xC4};
    std::memcpy(&bytes[trailer], key_fill, 4);
    StoreLe32(bytes, trailer + 4, head_offset);
    StoreLe32(bytes, trailer + 8, head_offset + length);
    const uint8_t* key = &bytes[trailer];
    bytes[head_offset] = sample::ScrambleByte(static_cast<uint8_t>(start[0]), 0, key);
    bytes[head_offset + 1] = sample::ScrambleByte(static_cast<uint8_t>(start[1]), 1, key);
    return bytes;
}

// A clean image whose last 48 bytes are zero padding: read as a trailer,
// an empty head at offset 0. (A tail of random bytes may instead ask for a
// block of hundreds of megabytes, which only some processes get.)
Bytes CleanWithZeroTail() {
    Bytes bytes = Host(5000);
    std::fill(bytes.end() - 48, bytes.end(), 0);
    return bytes;
}

Bytes WithCorruptKey() {
    Bytes bytes = sample::BuildInfected(Host(5000)).infected;
    bytes[bytes.size() - 48] ^= 0x40;  // key byte 0: the head no longer unscrambles to "MZ"
    return bytes;
}

TEST(RestoreHostTest, RefusesAndLeavesTheFileUnchanged) {
    const Bytes consistent = sample::BuildInfected(Host(5000)).infected;
    const uint32_t size = static_cast<uint32_t>(consistent.size());
    const RefusalCase cases[] = {
        {"47-byte file", Bytes(47, 0x4D), kNegativeSeekLine},
        {"empty file", Bytes(), kNegativeSeekLine},
        {"HeadOffset 16, HeadEnd 0", WithTrailerFields(16, 0),
         "Call HeapAlloc to alloc 4294967280byte memory failed"},
        {"length of exactly 2^31", WithTrailerFields(0, 0x80000000u),
         "Call HeapAlloc to alloc 2147483648byte memory failed"},
        {"HeadEnd one past the size", WithTrailerFields(5000, size + 1), "May get invalid info"},
        {"HeadOffset 2^31, small length, HeadEnd past the size",
         WithTrailerFields(0x80000000u, 0x80000100u), "May get invalid info"},
        {"HeadOffset 2^32-256 wrapping to a small length", WithTrailerFields(0xFFFFFF00u, 0x10),
         kNegativeSeekLine},
        {"empty saved head (HeadOffset equal to HeadEnd)", WithTrailerFields(5000, 5000),
         "May get invalid info"},
        {"one-byte saved head", WithTrailerFields(5000, 5001), "May get invalid info"},
        {"corrupt key", WithCorruptKey(), "May get invalid info"},
        // A host begins with "MZ" or "ZM", both letters.
        {"head unscrambling to \"ZX\"", WithHeadAt(2100, 900, "ZX"), "May get invalid info"},
        {"head unscrambling to \"XM\"", WithHeadAt(2100, 900, "XM"), "May get invalid info"},
        {"head unscrambling to \"MX\"", WithHeadAt(2100, 900, "MX"), "May get invalid info"},
        // The infector's image, window included, lies in front of the saved
        // head: a smaller HeadOffset is no infector's trailer.
        {"HeadOffset 0", WithHeadAt(0, 1000), "May get invalid info"},
        {"HeadOffset 1", WithHeadAt(1, 2), "May get invalid info"},
        {"HeadOffset 2", WithHeadAt(2, 800), "May get invalid info"},
        {"HeadOffset 2099", WithHeadAt(2099, 900), "May get invalid info"},
        {"small host, head longer than HeadOffset",
         sample::BuildInfected(Host(600), Options(1500, 0, 0, false)).infected,
         "May get invalid info"},
        {"clean image without a trailer", CleanWithZeroTail(), "May get invalid info"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = Repair(c.content);
        EXPECT_EQ(FALSE, outcome.result);
        EXPECT_EQ(Lines{c.line}, outcome.lines);
        EXPECT_TRUE(c.content == outcome.after);
    }
}

TEST(RestoreHostTest, MissingFileFailsAtTheOpen) {
    testsupport::TempDir dir;
    testsupport::LogCapture log;
    EXPECT_EQ(FALSE, RestoreHost(dir.Join("absent.exe").c_str()));
    EXPECT_EQ(Lines{"Call CreateFile failed: 0x2"}, log.Lines());
}

// A file the repair may not write fails at its open and is left as it was.
// On Windows another reader holds it and lets no writer in, which stops
// every account (root under Wine writes read-only files); on POSIX it is
// read-only, which root passes: the POSIX build checks that case in a child
// without root.
TEST(RestoreHostTest, ReadOnlyFileFailsAtTheOpen) {
    testsupport::TempDir dir;
    const PathString path = dir.Join("readonly.exe");
    const Bytes content = sample::BuildInfected(Host(5000)).infected;
    testsupport::WriteFile(path, content);
    platform::File reader;
    if (kWindows) {
        ASSERT_TRUE(testsupport::OpenHeld(&reader, path.c_str(), testsupport::Hold::KeepWriters));
    } else {
        namespace fs = std::filesystem;
        fs::permissions(path,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        if (std::ofstream(fs::path(path), std::ios::binary | std::ios::app)) {
            GTEST_SKIP() << "read-only files open for writing here (root); "
                            "the POSIX build checks this case in a child without root";
        }
    }
    testsupport::LogCapture log;
    EXPECT_EQ(FALSE, RestoreHost(path.c_str()));
    EXPECT_EQ(
        Lines{"Call CreateFile failed: " + testsupport::Hex(testsupport::kErrRepairOpenRefused)},
        log.Lines());
    reader.Close();
    EXPECT_TRUE(content == testsupport::ReadFile(path));
}

}  // namespace
