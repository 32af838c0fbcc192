// The first pages of a batch of files, read at once: each file's page as
// the file holds it, zeros after a short file's end, a file that cannot be
// opened left to the caller; a system that refuses the ring (and Windows,
// which has none) leaves every file to the caller's own path.
#include "platform/page_batch.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dir_search.h"
#include "platform/fault_seam.h"
#include "support/os_codes.h"
#include "support/temp_dir.h"

namespace {

using platform::PageBatch;
constexpr uint32_t kPage = PageBatch::kPageBytes;

TEST(PageBatchTest, ReadsEachFilesFirstPageAndLeavesWhatFailsToTheCaller) {
    PageBatch batch;
    if (!batch.Start()) {
        GTEST_SKIP() << "no ring here" << (testsupport::kWindows ? " (Windows has none)" : "");
    }
    testsupport::TempDir dir;
    const std::map<std::string, size_t> sizes = {
        {"empty.bin", 0}, {"short.bin", 1000}, {"page.bin", kPage}, {"long.bin", 3 * kPage + 5}};
    for (const auto& [name, size] : sizes) {
        testsupport::WriteFile(dir.Join(name), testsupport::PatternBytes(size, 7));
    }
    testsupport::WriteFile(dir.Join("gone.bin"), testsupport::PatternBytes(100, 7));
    platform::DirSearch search;
    ASSERT_TRUE(search.Open(dir.Path().native().c_str())) << search.Error();
    std::vector<std::string> names;
    std::vector<PathString> paths;
    std::vector<std::unique_ptr<platform::FileRef>> refs;
    paths.reserve(8);
    for (bool more = search.HasEntry(); more; more = search.Next()) {
        const std::string name = std::filesystem::path(search.Name()).string();
        if (name == "." || name == "..") {
            continue;
        }
        names.push_back(name);
        paths.push_back(dir.Join(name));
        refs.emplace_back(new platform::FileRef(paths.back().c_str()));
        search.Locate(refs.back().get());
    }
    ASSERT_EQ(5u, refs.size());
    std::filesystem::remove(dir.Path() / "gone.bin");

    std::vector<uint8_t> room(refs.size() * kPage, 0xEE);
    PageBatch::Page pages[PageBatch::kMostFiles];
    for (size_t i = 0; i < refs.size(); ++i) {
        pages[i].ref = refs[i].get();
        pages[i].bytes = room.data() + i * kPage;
    }
    // Twice: the slots are given back after each batch.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(batch.Read(pages, refs.size()));
        for (size_t i = 0; i < refs.size(); ++i) {
            SCOPED_TRACE(names[i]);
            if (names[i] == "gone.bin") {
                EXPECT_FALSE(pages[i].read);
                continue;
            }
            ASSERT_TRUE(pages[i].read);
            const size_t size = sizes.at(names[i]);
            const testsupport::Bytes bytes = testsupport::PatternBytes(size, 7);
            const uint32_t expected = static_cast<uint32_t>(std::min<size_t>(size, kPage));
            EXPECT_EQ(expected, pages[i].got);
            std::vector<uint8_t> page(kPage, 0);
            std::copy(bytes.begin(), bytes.begin() + expected, page.begin());
            EXPECT_EQ(0, memcmp(page.data(), pages[i].bytes, kPage));
        }
    }
    // Fewer bytes than a page, when asked.
    for (size_t i = 0; i < refs.size(); ++i) {
        pages[i].length = 1500;
    }
    ASSERT_TRUE(batch.Read(pages, refs.size()));
    for (size_t i = 0; i < refs.size(); ++i) {
        SCOPED_TRACE(names[i] + ", 1500 bytes");
        if (names[i] == "gone.bin") {
            continue;
        }
        const size_t size = sizes.at(names[i]);
        EXPECT_EQ(static_cast<uint32_t>(std::min<size_t>(size, 1500)), pages[i].got);
        const testsupport::Bytes bytes = testsupport::PatternBytes(size, 7);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + pages[i].got, pages[i].bytes));
    }
    EXPECT_TRUE(batch.Started());
}

TEST(PageBatchTest, ARingTheSystemRefusesIsNotStarted) {
    platform::fault::Rule refused;
    refused.op = platform::fault::Op::Ring;
    refused.code = EPERM;
    platform::fault::Scoped armed(refused);
    PageBatch batch;
    EXPECT_FALSE(batch.Start());
    EXPECT_FALSE(batch.Started());
    EXPECT_FALSE(batch.Read(nullptr, 0));
}

}  // namespace
