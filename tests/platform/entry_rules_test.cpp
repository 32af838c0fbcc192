// The walk's decisions from what a Windows listing and the system say, on
// every backend: made-up attributes, reparse tags, volume paths and codes.
#include "platform/entry_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::EntryKind;

constexpr uint32_t kDir = platform::kAttributeDirectory;
constexpr uint32_t kReparse = platform::kAttributeReparsePoint;
constexpr uint32_t kArchive = 0x20;
constexpr uint32_t kOffline = platform::kAttributeOffline;
constexpr uint32_t kRecallOnOpen = platform::kAttributeRecallOnOpen;
constexpr uint32_t kRecallOnData = platform::kAttributeRecallOnDataAccess;

// Tags as the system gives them.
constexpr uint32_t kMountPoint = 0xA0000003;  // junctions and volume mount points
constexpr uint32_t kSymlink = 0xA000000C;
constexpr uint32_t kDedup = 0x80000013;
constexpr uint32_t kWof = 0x80000017;            // compact /exe
constexpr uint32_t kCloud = 0x9000001A;          // a OneDrive placeholder
constexpr uint32_t kAppExecLink = 0x8000001B;    // an app execution alias: no name surrogate
constexpr uint32_t kProjFs = 0x9000001C;         // a projected file system's entry
constexpr uint32_t kLxSymlink = 0xA000001D;      // a WSL symbolic link
constexpr uint32_t kGlobalReparse = 0xA0000019;  // a silo's global link

TEST(EntryRulesTest, EachListedEntryHasTheKindItsAttributesAndTagGive) {
    struct Case {
        const char* name;
        uint32_t attributes;
        uint32_t tag;
        EntryKind kind;
    };
    const Case cases[] = {
        {"plain file", kArchive, 0, EntryKind::File},
        {"plain folder", kDir, 0, EntryKind::Folder},
        // The tag counts only with the reparse attribute.
        {"folder with a stray tag", kDir, kSymlink, EntryKind::Folder},
        {"directory symbolic link", kDir | kReparse, kSymlink, EntryKind::Link},
        {"WSL symbolic link to a folder", kDir | kReparse, kLxSymlink, EntryKind::Link},
        {"global link", kDir | kReparse, kGlobalReparse, EntryKind::Link},
        {"junction or mount point", kDir | kReparse, kMountPoint, EntryKind::MountPoint},
        // A link the system cannot name (tag 0): walked, with the check for
        // folders open above.
        {"reparse folder without a tag", kDir | kReparse, 0, EntryKind::Folder},
        {"deduplicated folder", kDir | kReparse, kDedup, EntryKind::Folder},
        {"projected folder, local", kDir | kReparse, kProjFs, EntryKind::Folder},
        {"cloud folder, local", kDir | kReparse, kCloud, EntryKind::Folder},
        {"cloud folder, not populated", kDir | kReparse | kRecallOnOpen, kCloud,
         EntryKind::NotLocalFolder},
        {"offline folder", kDir | kOffline, 0, EntryKind::NotLocalFolder},
        // Some of its files are online only; listing it brings only names.
        {"cloud folder, partly online", kDir | kReparse | kRecallOnData, kCloud, EntryKind::Folder},
        {"folder recalled on data access", kDir | kRecallOnData, 0, EntryKind::Folder},
        // Files: a link to a file is never opened, whatever its own bits
        // say (its target is examined where it lies).
        {"file symbolic link", kArchive | kReparse, kSymlink, EntryKind::Link},
        {"WSL symbolic link to a file", kArchive | kReparse, kLxSymlink, EntryKind::Link},
        {"file link marked online only", kArchive | kReparse | kRecallOnData, kSymlink,
         EntryKind::Link},
        {"file with a stray link tag", kArchive, kSymlink, EntryKind::File},
        {"deduplicated file", kArchive | kReparse, kDedup, EntryKind::File},
        {"WOF-compressed file", kArchive | kReparse, kWof, EntryKind::File},
        {"app execution alias", kArchive | kReparse, kAppExecLink, EntryKind::File},
        {"cloud file kept on this device", kArchive | kReparse, kCloud, EntryKind::File},
        {"cloud file online only", kArchive | kReparse | kRecallOnData, kCloud,
         EntryKind::NotLocalFile},
        {"cloud file recalled on open", kArchive | kReparse | kRecallOnOpen, kCloud,
         EntryKind::NotLocalFile},
        {"archived file (HSM)", kArchive | kOffline, 0, EntryKind::NotLocalFile},
        {"offline file with a tag", kArchive | kReparse | kOffline, kDedup,
         EntryKind::NotLocalFile},
        // A link stays a link whatever else it says.
        {"offline directory link", kDir | kReparse | kOffline, kSymlink, EntryKind::Link},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.kind, platform::ClassifyListedEntry(c.attributes, c.tag));
    }
}

TEST(EntryRulesTest, TheRepairGoesThroughOnlyReparsePointsThatAreNoLinks) {
    using platform::RepairOpen;
    struct Case {
        const char* name;
        uint32_t tag;
        RepairOpen open;
    };
    const Case cases[] = {
        {"no reparse point", 0, RepairOpen::RefuseReparsePoint},
        {"symbolic link", kSymlink, RepairOpen::RefuseReparsePoint},
        {"junction or mount point", kMountPoint, RepairOpen::RefuseReparsePoint},
        {"WSL symbolic link", kLxSymlink, RepairOpen::RefuseReparsePoint},
        {"deduplicated", kDedup, RepairOpen::PinnedFile},
        {"WOF-compressed", kWof, RepairOpen::PinnedFile},
        {"cloud file kept local", kCloud, RepairOpen::PinnedFile},
        {"app execution alias", kAppExecLink, RepairOpen::PinnedFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.open, platform::RepairOpenFor(c.tag));
        EXPECT_EQ(c.open == RepairOpen::RefuseReparsePoint && c.tag != 0,
                  platform::IsNameSurrogate(c.tag));
    }
}

TEST(EntryRulesTest, OnlyAMountedVolumeWithoutADriveLetterIsEntered) {
    struct Case {
        const char* name;
        bool volume_known;
        const PathChar* paths;  // null: could not be had
        size_t paths_chars;
        bool entered;
    };
    // Multi-strings: each path NUL-terminated, then an empty one.
    const PathChar lettered[] = ZQ_T("C:\\mnt\\data\\\0E:\\\0");
    const PathChar only_folders[] = ZQ_T("C:\\mnt\\data\\\0D:\\backup\\\0");
    const PathChar lower_letter[] = ZQ_T("e:\\\0");
    const PathChar none[] = ZQ_T("\0");
    const PathChar letter_no_slash[] = ZQ_T("E:\0");
    const Case cases[] = {
        {"junction to a folder", false, nullptr, 0, false},
        {"junction to a folder, paths given", false, only_folders, 0, false},
        {"volume with a drive letter", true, lettered, 0, false},
        {"volume with a lower-case letter", true, lower_letter, 0, false},
        {"volume mounted only in folders", true, only_folders, 0, true},
        {"volume with no path at all", true, none, 0, true},
        {"volume whose paths cannot be had", true, nullptr, 0, true},
        {"a drive without its backslash is no root path", true, letter_no_slash, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.entered, platform::EntersMountedVolume(c.volume_known, c.paths));
    }
}

TEST(EntryRulesTest, AFailedListingIsEmptyOnlyWhenNothingMatched) {
    EXPECT_TRUE(platform::ListingFailureIsEmpty(2));    // ERROR_FILE_NOT_FOUND
    EXPECT_FALSE(platform::ListingFailureIsEmpty(3));   // ERROR_PATH_NOT_FOUND
    EXPECT_FALSE(platform::ListingFailureIsEmpty(5));   // ERROR_ACCESS_DENIED
    EXPECT_FALSE(platform::ListingFailureIsEmpty(21));  // ERROR_NOT_READY
}

TEST(EntryRulesTest, OnlyARootsSystemVolumeInformationDeniedIsKeptByTheSystem) {
    struct Case {
        const char* name;
        bool below_root;
        const PathChar* folder;
        OsError code;
        OsError denied;
        bool kept;
    };
    const Case cases[] = {
        {"denied below a root", true, ZQ_T("System Volume Information"), 5, 5, true},
        {"any case", true, ZQ_T("SYSTEM VOLUME INFORMATION"), 5, 5, true},
        {"deeper than a root", false, ZQ_T("System Volume Information"), 5, 5, false},
        {"another failure", true, ZQ_T("System Volume Information"), 21, 5, false},
        {"another folder denied", true, ZQ_T("Config.Msi"), 5, 5, false},
        {"a longer name", true, ZQ_T("System Volume Information2"), 5, 5, false},
        {"a shorter name", true, ZQ_T("System Volume"), 5, 5, false},
        {"no such rule on the platform", true, ZQ_T("System Volume Information"), 0, 0, false},
        {"no name", true, nullptr, 5, 5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.kept, platform::IsFolderKeptBySystem(c.below_root, c.folder, c.code, c.denied));
    }
}

}  // namespace
