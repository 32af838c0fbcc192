// The executable-image test in two halves, so that the part that only reads
// the file may run apart from the part that logs: ExamineImage opens, maps
// and reads, and records what it found and which call failed, writing
// nothing; ReportImageExam writes the failure's log line and counts it, as
// CommFunc::IsFilePE does right after its failed call.
#pragma once

#include <cstdint>
#include <functional>

#include "infect/check_infection.h"
#include "platform/file_ref.h"
#include "platform/types.h"

// Below this size (0x200 bytes) a file cannot be an executable image: it is
// not mapped, and a file listed this small is not opened.
constexpr uint32_t kMinImageSize = 0x200;

enum class ImageStep {
    None,   // no call failed
    Open,   // CreateFile (line 66)
    InUse,  // CreateFile, refused as a sharing violation: held by another
            // program with no sharing (line 277, not a failure)
    // Not opened: listed again, the file is now not local (line 299) or a
    // link (line 294), as the walk would have passed over it.
    NotLocal,
    Link,
    Size,     // GetFileSize (line 71)
    Mapping,  // CreateFileMapping (line 79)
    View,     // MapViewOfFile, or (POSIX) reading the view (line 86)
};

struct ImageExam {
    bool image = false;  // an executable image that is not a DLL
    ImageStep failed = ImageStep::None;
    OsError code = 0;
    // The signature window, when the view held it (an accepted image of at
    // least 2100 bytes, listed or queried).
    HeldWindow window;
};

// Examines the file `ref` names (CommFunc::IsFilePE without its log lines
// and counts). A listed file's size is taken from the listing; `pause`
// (optional) runs between the size and the mapping.
void ExamineImage(platform::FileRef& ref, const std::function<void()>* pause, ImageExam* exam);

// Logs and counts what `exam` records of a failed call; nothing otherwise.
// `path` is the file's path, for the line of a file in use.
void ReportImageExam(const ImageExam& exam, const PathChar* path);
