// The walk's and the image test's seams (scan_folder_seam.h,
// is_file_pe_seam.h), compiled in builds with the tests only.
#include "scan/is_file_pe_seam.h"
#include "scan/image_exam.h"
#include "scan/scan_folder_seam.h"
#include "scan/scan_folder_walk.h"

const FolderIdentitySource& scan_seam::PlatformFolderIdentityForTesting() {
    static const FolderIdentitySource identity = {
        [](const platform::DirSearch& parent) { return parent.EntryMayLeadBack(); },
        [](const platform::DirSearch& search, const PathChar* folder_path, platform::FolderId* id) {
            return search.GetFolderId(folder_path, id);
        }};
    return identity;
}

BOOL scan_seam::ScanFolderWithIdentityForTesting(const PathChar* path,
                                                 const FolderIdentitySource& identity) {
    return WalkFolderTree(path, ScanOptions(), ReadAhead::Mode::On, &identity) ? TRUE : FALSE;
}

BOOL scan_seam::ScanFolderWithoutReadAheadForTesting(const PathChar* path,
                                                     const SignatureList& signatures) {
    return WalkFolderTree(path, ScanOptions{&signatures}, ReadAhead::Mode::Off, nullptr) ? TRUE
                                                                                         : FALSE;
}

BOOL scan_seam::ScanFolderReadingAheadFirstForTesting(const PathChar* path,
                                                      const SignatureList& signatures) {
    return WalkFolderTree(path, ScanOptions{&signatures}, ReadAhead::Mode::ReadersFirst, nullptr)
               ? TRUE
               : FALSE;
}

BOOL scan_seam::IsFilePEPausedBeforeMappingForTesting(const PathChar* path,
                                                      const std::function<void()>& pause) {
    platform::FileRef file(path);
    ImageExam exam;
    ExamineImage(file, &pause, &exam);
    ReportImageExam(exam, path);
    return exam.image ? TRUE : FALSE;
}
