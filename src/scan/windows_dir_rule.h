// The rule that keeps the scan out of the Windows directory.
#pragma once

#include "platform/types.h"

// Whether `folder_path` contains `windows_dir`, both compared in upper case
// and each cut to 4095 characters: the Windows directory itself, any folder
// below it, and any folder whose path merely contains its text (such as
// "C:\Windows.old"). An empty `windows_dir` (no Windows directory) matches
// nothing.
bool IsInWindowsDirectory(const PathChar* folder_path, const PathChar* windows_dir);
// The same, upper-casing into the caller's buffers (reused by a walk).
bool IsInWindowsDirectory(const PathChar* folder_path, const PathChar* windows_dir,
                          PathString* upper_path, PathString* upper_windows_dir);
