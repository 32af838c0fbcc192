// The read-only view on every backend: the file's bytes, zeros after its end
// up to a whole page, and each failed step reported as itself.
#include "platform/file_view.h"

#include <gtest/gtest.h>

#include "platform/fault_seam.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace {

using platform::File;
using platform::FileView;
using platform::ViewStep;
using testsupport::Bytes;

class FileViewTest : public ::testing::Test {
  protected:
    testsupport::TempDir dir_;

    // Opens `path` for reading as the image test does and maps it.
    platform::StepResult<ViewStep> MapFile(const PathString& path, File* file, FileView* view) {
        uint32_t size = 0;
        EXPECT_TRUE(file->Open(path.c_str(), platform::FileIntent::ExamineImage) &&
                    file->SizeLow(&size))
            << file->Error();
        return view->Map(*file, size);
    }
};

TEST_F(FileViewTest, CoversTheFileAndZerosToTheEndOfItsLastPage) {
    for (const size_t size : {size_t{4096}, size_t{5000}}) {
        SCOPED_TRACE(size);
        const PathString path = dir_.Join("file" + std::to_string(size));
        const Bytes content = testsupport::PatternBytes(size, 9);
        testsupport::WriteFile(path, content);
        File file;
        FileView view;
        const platform::StepResult<ViewStep> mapped = MapFile(path, &file, &view);
        ASSERT_TRUE(mapped.Succeeded()) << mapped.code;
        const uint64_t pages = (size + FileView::kPageSize - 1) / FileView::kPageSize;
        ASSERT_EQ(pages * FileView::kPageSize, view.Length());
        Bytes seen(static_cast<size_t>(view.Length()), 0xEE);
        ASSERT_TRUE(view.Copy(0, seen.data(), static_cast<uint32_t>(seen.size())));
        EXPECT_EQ(content, Bytes(seen.begin(), seen.begin() + size));
        EXPECT_EQ(Bytes(seen.size() - size, 0), Bytes(seen.begin() + size, seen.end()));
    }
}

TEST_F(FileViewTest, AFailedStepIsReportedAsItself) {
    const PathString path = dir_.Join("image.bin");
    testsupport::WriteFile(path, testsupport::PatternBytes(600, 3));
    struct Case {
        platform::fault::Op op;
        ViewStep step;
    };
    const Case cases[] = {
        {platform::fault::Op::Map, ViewStep::Mapping},
        {platform::fault::Op::View, ViewStep::View},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.step));
        File file;
        FileView view;
        platform::fault::Rule rule;
        rule.op = c.op;
        rule.code = 0x3E6;
        platform::fault::Scoped fault(rule);
        const platform::StepResult<ViewStep> mapped = MapFile(path, &file, &view);
        EXPECT_EQ(c.step, mapped.step);
        EXPECT_EQ(0x3E6u, mapped.code);
    }
}

}  // namespace
