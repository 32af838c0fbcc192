// The logging switch on Win32: a named manual-reset event with a null DACL.
#include "platform/log_switch.h"

#include <stdio.h>
#include <windows.h>

#include "platform/switch_ids.h"
#include "platform/win32/win32_handles.h"

namespace platform {

namespace {

// The longest name, with a ten-digit id, has 55 characters.
constexpr size_t kNameChars = 100;

void FormatSwitchName(wchar_t (&name)[kNameChars], uint32_t process_id) {
    _swprintf(name, L"Global\\BFD88F2D-0990-4de4-AD0F-764F5894389A-%d",
              static_cast<int>(process_id));
}

}  // namespace

void LogSwitch::HandleTraits::Close(void* handle) {
    win32::KeepingLastError([handle] { CloseHandle(static_cast<HANDLE>(handle)); });
}

LogSwitch::~LogSwitch() {
    Close();
}

void LogSwitch::Remove() {
    Close();
}

bool LogSwitch::CreateOrOpen(uint32_t process_id) {
    // A present but null DACL: every account has every access. The results
    // are not examined; the event gets whatever descriptor results.
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, NULL, FALSE);
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof(attributes);  // 12 on 32-bit Windows
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = FALSE;

    wchar_t name[kNameChars] = {0};
    FormatSwitchName(name, process_id);
    // Manual reset, created signalled; an existing event of this name is
    // opened and keeps its state, unless this process did not make it: then
    // another process holds an event of a run that ended under this id, and
    // a new run never adopts its state.
    handle_.Reset(CreateEventW(&attributes, TRUE, TRUE, name));
    const bool existed = handle_.IsValid() && GetLastError() == ERROR_ALREADY_EXISTS;
    if (!SwitchMadeBefore(process_id) && existed) {
        SetEvent(static_cast<HANDLE>(handle_.Get()));
    }
    return handle_.IsValid();
}

bool LogSwitch::IsSet() const {
    return handle_.IsValid() && WaitForSingleObject(static_cast<HANDLE>(handle_.Get()), 0) == 0;
}

void LogSwitch::Close() {
    handle_.Reset();
}

StepResult<LogSwitchStep> SetLogSwitch(uint32_t process_id, bool on) {
    using Result = StepResult<LogSwitchStep>;
    wchar_t name[kNameChars] = {0};
    FormatSwitchName(name, process_id);
    const win32::KernelHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, name));
    if (!event.IsValid()) {
        return Result::Failed(LogSwitchStep::Open, GetLastError());
    }
    const BOOL changed = on ? SetEvent(event.Get()) : ResetEvent(event.Get());
    if (!changed) {
        return Result::Failed(LogSwitchStep::Change, GetLastError());
    }
    return Result();
}

}  // namespace platform
