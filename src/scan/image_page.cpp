// ExamineFirstPage: the checks of the image test (image_exam.cpp) on the
// first page alone.
#include "scan/image_page.h"

#include <cstring>

#include "infect/check_infection.h"
#include "platform/bounds.h"
#include "platform/file_view.h"
#include "scan/pe_layout.h"

namespace {

using namespace pe_layout;

constexpr uint32_t kPage = static_cast<uint32_t>(platform::FileView::kPageSize);

}  // namespace

bool ExamineFirstPage(const uint8_t* head, uint32_t got, uint32_t asked, uint32_t size,
                      ImageExam* exam) {
    // The view reads its first page until it is whole or reaches the
    // listed end; bytes cut short before either are read on their own.
    if (asked > kPage || asked < kSignatureWindowEnd || (got < asked && got < size)) {
        return false;
    }
    const uint8_t* page = head;
    *exam = ImageExam();
    // The view's length: the listed size up to a whole page (at least 512
    // bytes, so the DOS header always lies within it).
    const uint64_t length = (static_cast<uint64_t>(size) + kPage - 1) / kPage * kPage;
    if (!HasDosSignature(page)) {
        return true;
    }
    const int32_t lfanew = static_cast<int32_t>(LoadU32(page + kLfanewOffset));
    if (lfanew < 0 ||
        !platform::FitsWithin(static_cast<uint64_t>(lfanew), kNtHeadersSize, length)) {
        return true;
    }
    if (!platform::FitsWithin(static_cast<uint64_t>(lfanew), kNtHeadersSize, asked)) {
        return false;  // beyond the bytes read: ExamineImage's
    }
    if (!IsNtImageNotDll(page + lfanew)) {
        return true;
    }
    exam->image = true;
    if (size >= kSignatureWindowEnd) {
        memcpy(exam->window.bytes, page + kSignatureWindowOffset, kSignatureWindowSize);
        exam->window.held = true;
    }
    return true;
}
