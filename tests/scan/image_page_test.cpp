// The image test from the first bytes read in a batch gives what the image
// test of the file itself gives, or leaves the file to it: a table of
// headers near, at and beyond the end of the bytes read, DLLs, files that
// are no image, and reads cut short.
#include "scan/image_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/file_ref.h"
#include "sample_builder/sample_builder.h"
#include "scan/image_exam.h"
#include "support/temp_dir.h"

namespace {

using testsupport::Bytes;
constexpr uint32_t kPage = 4096;
constexpr uint32_t kHeaders = 0x80;  // where BuildPe puts them
constexpr uint32_t kHeadersSize = 248;

// `image` with its NT headers moved to `lfanew` (e_lfanew set to it).
Bytes MoveHeaders(Bytes image, uint32_t lfanew) {
    const Bytes headers(image.begin() + kHeaders, image.begin() + kHeaders + kHeadersSize);
    std::fill(image.begin() + kHeaders, image.begin() + kHeaders + kHeadersSize, 0);
    if (lfanew + kHeadersSize <= image.size()) {
        std::copy(headers.begin(), headers.end(), image.begin() + lfanew);
    }
    memcpy(&image[0x3C], &lfanew, sizeof lfanew);
    return image;
}

TEST(ImagePageTest, APageSettlesWhatItHoldsAsTheFilesOwnTestWould) {
    struct Case {
        const char* name;
        Bytes bytes;
        bool settled;  // the page alone settles it
    };
    const Case cases[] = {
        {"smallest image", sample::BuildPe(512), true},
        {"image under the window's end", sample::BuildPe(2000), true},
        {"image with its window", sample::BuildPe(3000), true},
        {"image of two pages", sample::BuildPe(8192), true},
        {"ZM image", sample::BuildPe(5000, {false, true, 3}), true},
        {"DLL", sample::BuildPe(6000, {true, false, 4}), true},
        {"no image", sample::FillerBytes(3000, 5), true},
        {"headers end where the bytes read end",
         MoveHeaders(sample::BuildPe(8192), kImageHeadBytes - kHeadersSize), true},
        {"headers cross the end of the bytes read",
         MoveHeaders(sample::BuildPe(8192), kImageHeadBytes - kHeadersSize + 1), false},
        {"headers end at the first page's end",
         MoveHeaders(sample::BuildPe(8192), kPage - kHeadersSize), false},
        {"headers in the second page", MoveHeaders(sample::BuildPe(12000), 5000), false},
        {"headers past the file's pages", MoveHeaders(sample::BuildPe(3000), 4000), true},
        {"negative e_lfanew", MoveHeaders(sample::BuildPe(3000), 0x80000000u), true},
    };
    testsupport::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PathString path = dir.Join("file.bin");
        testsupport::WriteFile(path, c.bytes);
        const uint32_t size = static_cast<uint32_t>(c.bytes.size());
        uint8_t page[kImageHeadBytes] = {};
        const uint32_t got = std::min(size, kImageHeadBytes);
        memcpy(page, c.bytes.data(), got);

        ImageExam from_page;
        ASSERT_EQ(c.settled, ExamineFirstPage(page, got, kImageHeadBytes, size, &from_page));
        if (!c.settled) {
            continue;
        }
        platform::FileRef ref(path.c_str());
        ImageExam from_file;
        ExamineImage(ref, nullptr, &from_file);
        EXPECT_EQ(from_file.image, from_page.image);
        EXPECT_EQ(from_file.failed, from_page.failed);
        ASSERT_EQ(from_file.window.held, from_page.window.held);
        if (from_file.window.held) {
            EXPECT_EQ(0, memcmp(from_file.window.bytes, from_page.window.bytes,
                                sizeof from_file.window.bytes));
        }
    }
}

// A read that stopped short of both the page and the listed end (a file cut
// since it was listed, a read the system cut) is the file's own test's: it
// reads on until the end, as the view does.
TEST(ImagePageTest, APageReadShortIsLeftToTheFilesOwnTest) {
    const Bytes image = sample::BuildPe(8192);
    uint8_t page[kPage] = {};
    memcpy(page, image.data(), 3000);
    ImageExam exam;
    EXPECT_FALSE(ExamineFirstPage(page, 3000, kPage, 8192, &exam));
    EXPECT_FALSE(ExamineFirstPage(page, 3000, kPage, 3001, &exam));
    // Up to the listed end, or all that was asked: whole.
    EXPECT_TRUE(ExamineFirstPage(page, 3000, kPage, 3000, &exam));
    EXPECT_TRUE(ExamineFirstPage(page, kImageHeadBytes, kImageHeadBytes, 8192, &exam));
    EXPECT_FALSE(ExamineFirstPage(page, kImageHeadBytes - 1, kImageHeadBytes, 8192, &exam));
}

}  // namespace
