// CommFunc: the debug privilege and the executable-image test.
#include "scan/comm_func.h"

#include "log/logger.h"
#include "platform/privilege.h"
#include "scan/image_exam.h"

BOOL CommFunc::SetDebugPrivilege() {
    bool enabled = false;
    const platform::StepResult<platform::PrivilegeStep> outcome =
        platform::EnableDebugPrivilege(&enabled);
    switch (outcome.step) {
        case platform::PrivilegeStep::OpenToken:
            g_Logger.Write("[%s][%d]Call OpenProcessToken failed: %d",
                           "CommFunc::SetDebugPrivilege", 20, static_cast<int>(outcome.code));
            return FALSE;
        case platform::PrivilegeStep::LookupPrivilege:
            g_Logger.Write("[%s][%d]Call LookupPrivilegeValue failed: %d",
                           "CommFunc::SetDebugPrivilege", 30, static_cast<int>(outcome.code));
            return FALSE;
        case platform::PrivilegeStep::AdjustPrivileges:
            g_Logger.Write("[%s][%d]Call AdjustTokenPrivileges failed: %d",
                           "CommFunc::SetDebugPrivilege", 36, static_cast<int>(outcome.code));
            return FALSE;
        case platform::PrivilegeStep::None:
            break;
    }
    return enabled ? TRUE : FALSE;
}

BOOL CommFunc::IsFilePE(const PathChar* path) {
    platform::FileRef file(path);
    ImageExam exam;
    ExamineImage(file, nullptr, &exam);
    ReportImageExam(exam, path);
    return exam.image ? TRUE : FALSE;
}
