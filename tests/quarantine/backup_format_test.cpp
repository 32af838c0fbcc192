// The stand-in quarantine library's backup format and zqrestore's restore:
// originals come back byte for byte, a damaged backup is refused without
// leaving anything at OUT, and OUT is never overwritten.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backup_format.h"
#include "infect/md5_context.h"
#include "restore.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using druquara::RestoreStatus;
using testsupport::Bytes;

// A backup built here from the backup file layout, independently of the
// library's writer: header fields at their offsets, body XORed with the key.
Bytes MakeBackup(const Bytes& original) {
    Bytes backup(druquara::kBackupHeaderSize, 0);
    std::copy(std::begin(druquara::kBackupMagic), std::end(druquara::kBackupMagic), backup.begin());
    backup[8] = 1;    // version
    backup[12] = 48;  // header size
    uint64_t size = original.size();
    for (int i = 0; i < 8; ++i) {
        backup[16 + i] = static_cast<uint8_t>(size >> (8 * i));
    }
    MD5Context md5;
    md5.Init();
    md5.Update(original.data(), static_cast<uint32_t>(original.size()));
    md5.Final();
    std::copy(md5.digest, md5.digest + 16, backup.begin() + 24);
    for (size_t i = 0; i < original.size(); ++i) {
        backup.push_back(original[i] ^ druquara::kBackupKey[i % 16]);
    }
    return backup;
}

class RestoreTest : public ::testing::Test {
  protected:
    PathString Backup() const { return dir_.Join("backup.quar"); }
    PathString Out() const { return dir_.Join("out.exe"); }

    testsupport::TempDir dir_;
};

TEST(BackupFormatTest, HeaderRoundTripsAndIsReadFromTheDocumentedOffsets) {
    druquara::BackupHeader header;
    header.original_size = 0x0123456789ABCDEFull;
    for (int i = 0; i < 16; ++i) {
        header.md5[i] = static_cast<uint8_t>(0xF0 + i);
    }
    uint8_t bytes[druquara::kBackupHeaderSize];
    druquara::EncodeBackupHeader(header, bytes);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 8), "ZQQB\r\n\x1a\n");
    EXPECT_EQ(bytes[8], 1);
    EXPECT_EQ(bytes[12], 48);
    EXPECT_EQ(bytes[16], 0xEF);
    EXPECT_EQ(bytes[23], 0x01);
    EXPECT_EQ(bytes[24], 0xF0);
    EXPECT_EQ(bytes[39], 0xFF);

    druquara::BackupHeader read;
    ASSERT_EQ(druquara::DecodeBackupHeader(bytes, sizeof(bytes), &read), druquara::HeaderCheck::Ok);
    EXPECT_EQ(read.original_size, header.original_size);
    EXPECT_EQ(Bytes(read.md5, read.md5 + 16), Bytes(header.md5, header.md5 + 16));
}

// The transform of a piece depends only on its offset, so chunks of any size
// give the same body as one pass.
TEST(BackupFormatTest, TransformInPiecesEqualsTransformInOneAndUndoesItself) {
    const Bytes original = testsupport::PatternBytes(1000, 3);
    Bytes whole = original;
    druquara::TransformBackupBytes(whole.data(), whole.size(), 0);
    Bytes pieces = original;
    for (size_t at = 0, step = 1; at < pieces.size(); at += step, step = step * 2 + 1) {
        const size_t length = std::min(step, pieces.size() - at);
        druquara::TransformBackupBytes(pieces.data() + at, length, at);
    }
    EXPECT_EQ(pieces, whole);
    EXPECT_NE(whole, original);
    druquara::TransformBackupBytes(whole.data(), whole.size(), 0);
    EXPECT_EQ(whole, original);
}

// Sizes around the key length and the 64 KiB chunk of the readers.
TEST_F(RestoreTest, RestoresEveryOriginalByteForByte) {
    for (const size_t size : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{17},
                              size_t{65536}, size_t{65536 * 2 + 7}}) {
        SCOPED_TRACE(size);
        const Bytes original = testsupport::PatternBytes(size, static_cast<uint32_t>(size));
        testsupport::WriteFile(Backup(), MakeBackup(original));
        fs::remove(Out());
        const druquara::RestoreOutcome outcome =
            druquara::RestoreBackup(Backup().c_str(), Out().c_str());
        EXPECT_EQ(outcome.status, RestoreStatus::Restored) << outcome.message;
        EXPECT_EQ(testsupport::ReadFile(Out()), original);
    }
}

TEST_F(RestoreTest, DamagedOrForeignBackupIsRefusedAndNothingIsLeftAtOut) {
    const Bytes original = testsupport::PatternBytes(70000, 9);
    const Bytes good = MakeBackup(original);
    struct Case {
        const char* name;
        Bytes backup;
        const char* says;
    };
    auto changed = [&](size_t at, uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    Bytes short_body(good.begin(), good.end() - 1);
    Bytes long_body = good;
    long_body.push_back(0);
    Bytes flipped = good;
    flipped[48 + 40000] ^= 0x01;
    Bytes header_only(good.begin(), good.begin() + 48);
    Bytes cut_header(good.begin(), good.begin() + 20);
    const std::vector<Case> cases = {
        {"empty file", Bytes{}, "not a backup"},
        {"header cut short", cut_header, "not a backup"},
        {"the infected image itself", original, "not a backup"},
        {"magic changed", changed(3, 'X'), "not a backup"},
        {"version 2", changed(8, 2), "format version"},
        {"header size 64", changed(12, 64), "format version"},
        {"a flag set", changed(40, 1), "format version"},
        {"reserved set", changed(47, 1), "format version"},
        {"one body byte missing", short_body, "holds 69999 of the 70000"},
        {"one body byte extra", long_body, "more than the 70000"},
        {"header only", header_only, "holds 0 of the 70000"},
        {"size field one larger", changed(16, static_cast<uint8_t>(good[16] + 1)), "holds"},
        {"a body byte flipped", flipped, "MD5"},
        {"the digest field changed", changed(30, static_cast<uint8_t>(good[30] ^ 0x80)), "MD5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteFile(Backup(), c.backup);
        const druquara::RestoreOutcome outcome =
            druquara::RestoreBackup(Backup().c_str(), Out().c_str());
        EXPECT_EQ(outcome.status, RestoreStatus::BackupRefused);
        EXPECT_NE(outcome.message.find(c.says), std::string::npos) << outcome.message;
        EXPECT_FALSE(fs::exists(fs::path(Out())));
        EXPECT_EQ(testsupport::ReadFile(Backup()), c.backup);  // the backup is left alone
    }
}

// The original is written only from the backup that was checked through:
// a backup replaced between the check and the write, even by another sound
// backup, is refused, and nothing is left at OUT.
TEST_F(RestoreTest, ABackupReplacedAfterItsCheckIsRefused) {
    const Bytes checked = MakeBackup(testsupport::PatternBytes(5000, 7));
    const Bytes other = MakeBackup(testsupport::PatternBytes(5000, 8));
    testsupport::WriteFile(Backup(), checked);
    druquara::SetBetweenPassesForTesting([&] { testsupport::WriteFile(Backup(), other); });
    const druquara::RestoreOutcome outcome =
        druquara::RestoreBackup(Backup().c_str(), Out().c_str());
    druquara::SetBetweenPassesForTesting(nullptr);
    EXPECT_EQ(outcome.status, RestoreStatus::BackupRefused);
    EXPECT_NE(outcome.message.find("changed while it was being restored"), std::string::npos)
        << outcome.message;
    EXPECT_FALSE(fs::exists(fs::path(Out())));
}

TEST_F(RestoreTest, MissingBackupIsRefused) {
    const druquara::RestoreOutcome outcome =
        druquara::RestoreBackup(dir_.Join("none.quar").c_str(), Out().c_str());
    EXPECT_EQ(outcome.status, RestoreStatus::BackupRefused);
    EXPECT_NE(outcome.message.find("cannot open"), std::string::npos) << outcome.message;
    EXPECT_FALSE(fs::exists(fs::path(Out())));
}

// OUT may be the user's own file, even the backup itself: never replaced.
TEST_F(RestoreTest, ExistingOutIsNeverOverwritten) {
    const Bytes original = testsupport::PatternBytes(5000, 4);
    const Bytes backup = MakeBackup(original);
    testsupport::WriteFile(Backup(), backup);
    const Bytes mine = testsupport::PatternBytes(100, 5);
    testsupport::WriteFile(Out(), mine);

    druquara::RestoreOutcome outcome = druquara::RestoreBackup(Backup().c_str(), Out().c_str());
    EXPECT_EQ(outcome.status, RestoreStatus::OutExists);
    EXPECT_NE(outcome.message.find("exists already"), std::string::npos) << outcome.message;
    EXPECT_EQ(testsupport::ReadFile(Out()), mine);

    outcome = druquara::RestoreBackup(Backup().c_str(), Backup().c_str());
    EXPECT_EQ(outcome.status, RestoreStatus::OutExists);
    EXPECT_EQ(testsupport::ReadFile(Backup()), backup);
}

TEST_F(RestoreTest, OutThatCannotBeCreatedFailsWithTheOsCode) {
    testsupport::WriteFile(Backup(), MakeBackup(testsupport::PatternBytes(10, 6)));
    const PathString out = dir_.Join("no-such-folder/out.exe");
    const druquara::RestoreOutcome outcome = druquara::RestoreBackup(Backup().c_str(), out.c_str());
    EXPECT_EQ(outcome.status, RestoreStatus::OutFailed);
    EXPECT_NE(outcome.message.find("cannot create"), std::string::npos) << outcome.message;
    EXPECT_FALSE(fs::exists(fs::path(out)));
}

TEST(RestoreMainTest, WrongArgumentCountIsAUsageError) {
    PathChar program[] = ZQ_T("zqrestore");
    PathChar only[] = ZQ_T("backup.quar");
    PathChar* one[] = {program, only, nullptr};
    EXPECT_EQ(druquara::RestoreMain(2, one), static_cast<int>(RestoreStatus::Usage));
    PathChar* none[] = {program, nullptr};
    EXPECT_EQ(druquara::RestoreMain(1, none), static_cast<int>(RestoreStatus::Usage));
}

}  // namespace
