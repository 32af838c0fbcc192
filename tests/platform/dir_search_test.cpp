// The directory search on every backend: a folder's entries with their
// kinds and sizes, a sub-folder opened through its parent's search, and a
// missing folder's OS code.
#include "platform/dir_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "platform/entry_rules.h"
#include "platform/file.h"
#include "platform/listing_seam.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"

namespace {

using platform::DirSearch;
using platform::EntryKind;

struct Seen {
    EntryKind kind;
    uint32_t size_low;
};

std::string Narrow(const PathChar* name) {
    return std::filesystem::path(name).string();
}

// Every entry from the search's current one to its end, "." and ".." left
// out, with what the search says of each.
std::map<std::string, Seen> Rest(DirSearch& search) {
    std::map<std::string, Seen> seen;
    for (bool more = search.HasEntry(); more; more = search.Next()) {
        const std::string name = Narrow(search.Name());
        if (name == "." || name == "..") {
            continue;
        }
        const EntryKind kind = search.Kind();
        EXPECT_EQ(0u, seen.count(name)) << name << " listed twice";
        seen[name] = Seen{kind, kind == EntryKind::File ? search.SizeLow() : 0};
    }
    EXPECT_FALSE(search.HasEntry());
    return seen;
}

TEST(DirSearchTest, ListsEachEntryOnceWithItsKindAndSize) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.Join("file.bin"), testsupport::PatternBytes(1234, 1));
    testsupport::WriteFile(dir.Join("empty.bin"), testsupport::Bytes());
    std::filesystem::create_directory(dir.Path() / "sub");

    DirSearch search;
    ASSERT_TRUE(search.Open(dir.Path().native().c_str())) << search.Error();
    const std::map<std::string, Seen> seen = Rest(search);
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ(EntryKind::File, seen.at("file.bin").kind);
    EXPECT_EQ(1234u, seen.at("file.bin").size_low);
    EXPECT_EQ(EntryKind::File, seen.at("empty.bin").kind);
    EXPECT_EQ(0u, seen.at("empty.bin").size_low);
    EXPECT_EQ(EntryKind::Folder, seen.at("sub").kind);
    EXPECT_FALSE(search.Next()) << "a search at its end stays there";
}

TEST(DirSearchTest, OpensASubFolderThroughItsParentsCurrentEntry) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.Join("sub/inner.bin"), testsupport::PatternBytes(77, 2));
    testsupport::WriteFile(dir.Join("beside.bin"), testsupport::PatternBytes(5, 3));

    DirSearch parent;
    ASSERT_TRUE(parent.Open(dir.Path().native().c_str())) << parent.Error();
    while (parent.HasEntry() && Narrow(parent.Name()) != "sub") {
        parent.Next();
    }
    ASSERT_TRUE(parent.HasEntry()) << "sub not listed";
    DirSearch child;
    ASSERT_TRUE(child.OpenChild(parent, PathString(dir.Join("sub")).c_str())) << child.Error();
    const std::map<std::string, Seen> seen = Rest(child);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(EntryKind::File, seen.at("inner.bin").kind);
    EXPECT_EQ(77u, seen.at("inner.bin").size_low);
    // The parent's search goes on where it stood.
    EXPECT_EQ(1u, Rest(parent).count("sub"));
}

TEST(DirSearchTest, AFolderThatCannotBeListedFailsWithItsOsCode) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.Join("plain.bin"), testsupport::PatternBytes(3, 4));
    struct Case {
        const char* name;
        PathString folder;
        OsError code;
    };
    const Case cases[] = {
        {"missing folder", dir.Join("missing"), testsupport::kErrFolderMissing},
        {"below a missing folder", dir.Join("missing/deeper"), testsupport::kErrFolderMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DirSearch search;
        EXPECT_FALSE(search.Open(PathString(c.folder).c_str()));
        EXPECT_EQ(c.code, search.Error());
        EXPECT_FALSE(search.HasEntry());
    }
}

// A file listed before it changed (a repair through another of its links)
// is listed again as it is now; one gone since keeps what was listed.
TEST(DirSearchTest, AFileListedAgainShowsItsSizeNow) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.Join("file.bin"), testsupport::PatternBytes(6000, 1));
    DirSearch search;
    ASSERT_TRUE(search.Open(dir.Path().native().c_str())) << search.Error();
    while (search.HasEntry() && Narrow(search.Name()) != "file.bin") {
        search.Next();
    }
    ASSERT_TRUE(search.HasEntry());
    const PathString path = dir.Join("file.bin");
    platform::FileRef ref(path.c_str());
    ASSERT_EQ(EntryKind::File, search.Kind());  // as the walk asks before it locates
    search.Locate(&ref);
    search.Next();  // the reference keeps what it needs of the entry
    ASSERT_TRUE(ref.listed);
    EXPECT_EQ(6000u, ref.listed_size_low);

    std::filesystem::resize_file(dir.Path() / "file.bin", 2500);
    EXPECT_TRUE(platform::RelistFile(&ref));
    EXPECT_EQ(2500u, ref.listed_size_low);

    std::filesystem::remove(dir.Path() / "file.bin");
    EXPECT_FALSE(platform::RelistFile(&ref));
    EXPECT_EQ(2500u, ref.listed_size_low);
}

// A file listed with a reparse tag that is no link (here made up: a
// deduplicated file) is pinned by its first read; another file renamed over
// it since (the repair of another link) is listed again, and read as the file
// now there: the pin of the file that was there before goes with the
// re-listing. A file that went offline meanwhile is listed again as such.
TEST(DirSearchTest, AFileListedAgainIsPinnedAnewAndKeepsItsAttributesNow) {
    constexpr uint32_t kArchive = 0x20;
    constexpr uint32_t kDedup = 0x80000013;
    testsupport::TempDir dir;
    const PathString path = dir.Join("dedup.exe");
    testsupport::WriteFile(path, testsupport::PatternBytes(3000, 1));
    testsupport::WriteFile(dir.Join("other.exe"), testsupport::PatternBytes(3000, 2));
    uint32_t attributes = kArchive | platform::kAttributeReparsePoint;
    platform::listing_seam::Fakes fakes;
    fakes.entry = [&](const PathChar* name, platform::listing_seam::Listed* listed) {
        if (Narrow(name) != "dedup.exe") {
            return false;
        }
        listed->attributes = attributes;
        listed->reparse_tag = kDedup;
        return true;
    };
    platform::listing_seam::Scoped fake(fakes);

    DirSearch search;
    ASSERT_TRUE(search.Open(dir.Path().native().c_str())) << search.Error();
    while (search.HasEntry() && Narrow(search.Name()) != "dedup.exe") {
        search.Next();
    }
    ASSERT_TRUE(search.HasEntry());
    platform::FileRef ref(path.c_str());
    ASSERT_EQ(EntryKind::File, search.Kind());
    search.Locate(&ref);
    EXPECT_EQ(kDedup, ref.reparse_tag);
    {
        platform::File first;
        ASSERT_TRUE(first.Open(ref, platform::FileIntent::ExamineImage)) << first.Error();
    }
    std::filesystem::rename(dir.Path() / "other.exe", dir.Path() / "dedup.exe");
    ASSERT_TRUE(platform::RelistFile(&ref));
    platform::File again;
    EXPECT_TRUE(again.Open(ref, platform::FileIntent::ExamineImage)) << again.Error();
    again.Close();
    platform::File repair;
    EXPECT_TRUE(repair.Open(ref, platform::FileIntent::Repair)) << repair.Error();
    repair.Close();

    // The listing now says its data is not on the disk.
    attributes |= platform::kAttributeRecallOnDataAccess;
    ASSERT_TRUE(platform::RelistFile(&ref));
    EXPECT_EQ(EntryKind::NotLocalFile,
              platform::ClassifyListedEntry(ref.listed_attributes, ref.reparse_tag));
}

// A file the listing alone names a plain file is handed on unasked, and
// whoever examines it asks: what it is then, its size, and its identity. An
// entry gone since, or made a folder in between (a folder the walk's
// listing of the parent did not show), is passed over as gone: it is never
// entered, as a walk that asked between the removal and the new folder
// would have found nothing there. Windows's listing says everything: it
// hands no entry on unasked.
TEST(DirSearchTest, AFileHandedOnUnaskedIsAskedAboutByItsExaminer) {
    testsupport::TempDir dir;
    for (const char* name : {"stays.bin", "gone.bin", "folder.bin"}) {
        testsupport::WriteFile(dir.Join(name), testsupport::PatternBytes(3000, 1));
    }
    DirSearch search;
    ASSERT_TRUE(search.Open(dir.Path().native().c_str())) << search.Error();
    std::map<std::string, PathString> paths;
    std::map<std::string, std::unique_ptr<platform::FileRef>> refs;
    for (bool more = search.HasEntry(); more; more = search.Next()) {
        const std::string name = Narrow(search.Name());
        if (name == "." || name == "..") {
            continue;
        }
        if (!search.IsListedFile()) {
            EXPECT_EQ(EntryKind::File, search.Kind()) << name;
            continue;
        }
        paths[name] = dir.Join(name);
        refs[name].reset(new platform::FileRef(paths[name].c_str()));
        search.Locate(refs[name].get());
        EXPECT_FALSE(refs[name]->listed) << name << ": nothing asked yet";
    }
    if (refs.empty()) {
        GTEST_SKIP() << "this backend's listing says what each entry is";
    }
    ASSERT_EQ(3u, refs.size());
    std::filesystem::resize_file(dir.Path() / "stays.bin", 2500);
    std::filesystem::remove(dir.Path() / "gone.bin");
    std::filesystem::remove(dir.Path() / "folder.bin");
    std::filesystem::create_directory(dir.Path() / "folder.bin");

    EXPECT_EQ(EntryKind::File, platform::QueryListedFile(refs["stays.bin"].get()));
    EXPECT_TRUE(refs["stays.bin"]->listed);
    EXPECT_EQ(2500u, refs["stays.bin"]->listed_size_low);
    for (const char* name : {"gone.bin", "folder.bin"}) {
        EXPECT_EQ(EntryKind::Other, platform::QueryListedFile(refs[name].get())) << name;
        EXPECT_FALSE(refs[name]->listed) << name;
    }
}

}  // namespace
