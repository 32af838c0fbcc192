// The image test from a file's first page, read ahead in a batch
// (platform::PageBatch): the same answer, and the same signature window,
// that ExamineImage finds when everything it reads lies in that page.
// Whatever the page alone cannot settle the same way is left to
// ExamineImage.
#pragma once

#include <cstdint>

#include "scan/image_exam.h"

// `page` holds the first 4096 bytes of a file whose listed size is `size`
// (at least kMinImageSize): `got` bytes as read, zeros after them. True,
// with `*exam` filled in as ExamineImage would fill it, when the page
// settles the test: it was read as the view reads it (whole, or up to the
// file's listed end) and the NT headers, when the DOS header points at
// them within the view, lie within it. False otherwise (a read cut short,
// headers beyond the first page): the file takes ExamineImage.
bool ExamineFirstPage(const uint8_t* page, uint32_t got, uint32_t size, ImageExam* exam);
