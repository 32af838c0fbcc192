// The image test from a file's first page, read ahead in a batch
// (platform::PageBatch): the same answer, and the same signature window,
// that ExamineImage finds when everything it reads lies in that page.
// Whatever the page alone cannot settle the same way is left to
// ExamineImage.
#pragma once

#include <cstdint>

#include "scan/image_exam.h"

// The bytes read ahead from the start of a file: the DOS header, NT headers
// that begin up to 2056 bytes in (nearly every image's lie within the first
// few hundred), and the signature window (1024..2099). Less than a page, so
// less to copy.
constexpr uint32_t kImageHeadBytes = 2304;

// `head` holds the first `asked` bytes (at most 4096) of a file whose
// listed size is `size` (at least kMinImageSize): `got` bytes as read,
// zeros after them. True, with `*exam` filled in as ExamineImage would fill
// it, when those bytes settle the test: they were read as the view reads
// its first page (whole, or up to the file's listed end) and the NT
// headers, when the DOS header points at them within the view, lie within
// them. False otherwise (a read cut short, headers further in): the file
// takes ExamineImage.
bool ExamineFirstPage(const uint8_t* head, uint32_t got, uint32_t asked, uint32_t size,
                      ImageExam* exam);
