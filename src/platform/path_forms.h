// The forms of a path handed on to the system and to other programs.
//
// The scan shows and logs every path in its plain form ("C:\Tools\a.exe").
// On Windows the plain form is not always the file's own name: the system
// cuts a trailing dot or space off each component, takes "COM1.exe" or
// "NUL.exe" for a device, and refuses paths of 260 characters or more in
// many calls. The extended form ("\\?\C:\Tools\a.exe", or for a share
// "\\?\UNC\server\share\a.exe") is passed to the system as it is. So every call of the walk,
// the image test, the check and the repair takes the extended form, and code
// outside the program (the quarantine library) gets the plain form where it
// names the file as it is, the extended form otherwise. POSIX paths name
// their files as they are: both forms are the path itself.
#pragma once

#include "platform/types.h"

namespace platform {

// The extended form of the Windows path `path`: "\\?\" before a drive path
// ("C:" and "C:\" give "\\?\C:\"), "\\?\UNC\" in place of the "\\" of a
// share's path. A path already in a "\\?\" or "\\.\" form, a relative or
// drive-relative path, a path with "/" or with a "." or ".." component
// (which only the plain form resolves) is given as it is. Pure text, on
// every platform.
PathString WindowsExtendedPath(const PathChar* path);

// Whether the Windows system resolves the plain path `path` to the file it
// names as it is: shorter than 260 characters (MAX_PATH, terminator
// included), and no component that ends with a dot or a space or whose name
// before its first dot is a device's (CON, PRN, AUX, NUL, COM1-COM9,
// LPT1-LPT9, and COM or LPT with a superscript 1, 2 or 3; any case, also
// with a trailing space before the dot). Pure text, on every platform.
bool WindowsPlainPathNamesFile(const PathChar* path);

// The Windows path `path` with every "/" turned into "\", as the loader's
// altered search order (LoadLibraryExW with LOAD_WITH_ALTERED_SEARCH_PATH)
// asks for it. Pure text, on every platform.
PathString WindowsBackslashPath(const PathChar* path);

// The form of `path` for the system's own calls: Windows the extended form,
// POSIX the path itself.
PathString SystemPath(const PathChar* path);

// The form of `path` for another program (the quarantine library): the
// plain path where it names the file as it is, the extended form otherwise
// (Windows); POSIX the path itself.
PathString PathForOtherPrograms(const PathChar* path);

}  // namespace platform
