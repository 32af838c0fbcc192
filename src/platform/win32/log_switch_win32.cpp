#include "platform/log_switch.h"

#include <stdio.h>
#include <windows.h>

namespace platform {

namespace {

// The longest name, with a ten-digit id, has 55 characters.
constexpr size_t kNameChars = 100;

void FormatSwitchName(wchar_t (&name)[kNameChars], uint32_t process_id) {
    _swprintf(name, L"Global\\BFD88F2D-0990-4de4-AD0F-764F5894389A-%d",
              static_cast<int>(process_id));
}

}  // namespace

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
    // opened and keeps its state.
    HANDLE event = CreateEventW(&attributes, TRUE, TRUE, name);
    Close();
    handle_ = event;
    return handle_ != nullptr;
}

bool LogSwitch::IsSet() const {
    return handle_ != nullptr && WaitForSingleObject(static_cast<HANDLE>(handle_), 0) == 0;
}

void LogSwitch::Close() {
    if (handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
}

bool SetLogSwitch(uint32_t process_id, bool on, OsError* error) {
    wchar_t name[kNameChars] = {0};
    FormatSwitchName(name, process_id);
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, name);
    if (event == NULL) {
        *error = GetLastError();
        return false;
    }
    const BOOL changed = on ? SetEvent(event) : ResetEvent(event);
    if (!changed) {
        *error = GetLastError();
    }
    CloseHandle(event);
    return changed != FALSE;
}

}  // namespace platform
