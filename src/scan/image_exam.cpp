// The executable-image test in its two halves: ExamineImage, which opens,
// maps and reads (on a reader thread, or the walk's), and ReportImageExam,
// which logs and counts a failed call on the walk's thread.
#include "scan/image_exam.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "log/logger.h"
#include "platform/bounds.h"
#include "platform/entry_rules.h"
#include "platform/file.h"
#include "platform/file_view.h"
#include "platform/path_text.h"
#include "scan/pe_layout.h"
#include "scan/scan_stats.h"

namespace {

using namespace pe_layout;

// The answer for a view of the whole file; false on every rejection or on
// a failed read of the view.
bool IsImageNotDll(platform::FileView& view, bool* read_failed) {
    uint8_t dos_header[kDosHeaderSize];
    if (!platform::FitsWithin(0, kDosHeaderSize, view.Length())) {
        return false;
    }
    if (!view.Copy(0, dos_header, kDosHeaderSize)) {
        *read_failed = true;
        return false;
    }
    if (!HasDosSignature(dos_header)) {
        return false;
    }
    const int32_t lfanew = static_cast<int32_t>(LoadU32(dos_header + kLfanewOffset));
    if (lfanew < 0 ||
        !platform::FitsWithin(static_cast<uint64_t>(lfanew), kNtHeadersSize, view.Length())) {
        return false;
    }
    uint8_t nt_headers[kNtHeadersSize];
    if (!view.Copy(static_cast<uint64_t>(lfanew), nt_headers, kNtHeadersSize)) {
        *read_failed = true;
        return false;
    }
    return IsNtImageNotDll(nt_headers);
}

bool Failed(ImageExam* exam, ImageStep step, OsError code) {
    exam->failed = step;
    exam->code = code;
    return false;
}

bool Examine(platform::FileRef& ref, const std::function<void()>* pause, ImageExam* exam) {
    if (ref.listed) {
        // As the listing says now (a file listed again may have gone offline
        // or been replaced by a link since the walk met it).
        switch (platform::ClassifyListedEntry(ref.listed_attributes, ref.reparse_tag)) {
            case platform::EntryKind::NotLocalFile:
                return Failed(exam, ImageStep::NotLocal, 0);
            case platform::EntryKind::Link:
                return Failed(exam, ImageStep::Link, 0);
            default:
                break;
        }
    }
    // Declared before the view, so the view is released before the file.
    platform::File file;
    if (!file.Open(ref, platform::FileIntent::ExamineImage)) {
        // A program that runs is held by its loader for reading with every
        // sharing: a file refused for sharing is no running program, and is
        // held by its owner (on Windows mostly the system: hives, paging
        // files, logs) so that no one reads it.
        const bool in_use = file.Error() == platform::kErrorSharingViolation;
        return Failed(exam, in_use ? ImageStep::InUse : ImageStep::Open, file.Error());
    }
    // A listed file's size is the listing's.
    uint32_t size = ref.listed_size_low;
    if (!ref.listed && !file.SizeLow(&size)) {
        return Failed(exam, ImageStep::Size, file.Error());
    }
    if (size < kMinImageSize) {
        return false;
    }
    if (pause != nullptr) {
        (*pause)();
    }
    // The view's length is what was really mapped, so a file shortened since
    // its size was queried is read as the shorter file it now is.
    platform::FileView view;
    const platform::StepResult<platform::ViewStep> mapped = view.Map(file, size);
    if (!mapped.Succeeded()) {
        return Failed(
            exam, mapped.step == platform::ViewStep::Mapping ? ImageStep::Mapping : ImageStep::View,
            mapped.code);
    }
    bool read_failed = false;
    const bool answer = IsImageNotDll(view, &read_failed);
    if (read_failed) {
        // The bytes could not be read (a failed read, a view of the header
        // block that could not be mapped, a page the system could not bring
        // in): logged as the view's failure, and the scan goes on.
        return Failed(exam, ImageStep::View, view.Error());
    }
    // The signature check's window, when the view holds it already.
    if (answer && size >= kSignatureWindowEnd &&
        view.Holds(kSignatureWindowOffset, kSignatureWindowSize)) {
        exam->window.held =
            view.Copy(kSignatureWindowOffset, exam->window.bytes, kSignatureWindowSize);
    }
    return answer;  // the view goes before the file, as declared
}

// The call a step failed in, and the number of the line that says so;
// none when nothing failed.
struct FailedCall {
    const char* name;
    int number;
};

FailedCall CallOf(ImageStep step) {
    switch (step) {
        case ImageStep::None:
        case ImageStep::InUse:
        case ImageStep::NotLocal:
        case ImageStep::Link:
            break;
        case ImageStep::Open:
            return {"CreateFile", 66};
        case ImageStep::Size:
            return {"GetFileSize", 71};
        case ImageStep::Mapping:
            return {"CreateFileMapping", 79};
        case ImageStep::View:
            return {"MapViewOfFile", 86};
    }
    return {nullptr, 0};
}

// The line and counter of a file the test did not open, or found in use;
// none for every other step.
struct PassedOver {
    const char* format;
    int number;
    ScanCounter counter;
};

PassedOver PassedOverAs(ImageStep step) {
    switch (step) {
        case ImageStep::InUse:
            return {"[%s][%d]In use by the system, not examined:%s", 277, ScanCounter::InUse};
        case ImageStep::NotLocal:
            return {"[%s][%d]Not local, not scanned:%s", 299, ScanCounter::NotScanned};
        case ImageStep::Link:
            return {"[%s][%d]Link, not entered:%s", 294, ScanCounter::NotScanned};
        default:
            break;
    }
    return {nullptr, 0, ScanCounter::NotScanned};
}

}  // namespace

void ExamineImage(platform::FileRef& ref, const std::function<void()>* pause, ImageExam* exam) {
    *exam = ImageExam();
    exam->image = Examine(ref, pause, exam);
}

void ReportImageExam(const ImageExam& exam, const PathChar* path) {
    const PassedOver passed = PassedOverAs(exam.failed);
    if (passed.format != nullptr) {
        std::string shown;
        platform::PathText(path, &shown);
        g_Logger.WritePath(passed.format, "ScanFolder", passed.number, shown.c_str());
        CountScan(passed.counter);
        return;
    }
    const FailedCall call = CallOf(exam.failed);
    if (call.name == nullptr) {
        return;
    }
    g_Logger.Write("[%s][%d]Call %s failed: %d", "CommFunc::IsFilePE", call.number, call.name,
                   static_cast<int>(exam.code));
    CountScan(ScanCounter::Unreadable);
}
