// Reading one value of a machine-wide registry key, as one operation whose
// failure names the step and the registry's own status (2,
// ERROR_FILE_NOT_FOUND, for a key or value that is not there).
//
// Windows: HKEY_LOCAL_MACHINE opened with KEY_READ and no view flag, so a
// 32-bit program reads the 32-bit view; the value's size is queried, a block
// allocated, the value read into it and the key closed. POSIX: the key is
// one text file of `Name=Value` lines below /etc, named after the key
// without its leading "SOFTWARE" part ("SOFTWARE\Morlane\QRVCommon" is
// /etc/Morlane/QRVCommon). Because the key decides which library an
// elevated scan loads, a file that anyone but root may write is refused like
// a missing key. See posix/registry_posix.h for the format.
#pragma once

#include <cstdint>

#include "platform/heap_block.h"
#include "platform/step_result.h"
#include "platform/types.h"

namespace platform {

constexpr OsError kRegistryNotFound = 2;  // ERROR_FILE_NOT_FOUND

enum class RegistryReadStep {
    None,
    OpenKey,     // RegOpenKeyExW (POSIX: finding, checking and reading the key file)
    QuerySize,   // RegQueryValueExW without a buffer (POSIX: finding the value)
    Alloc,       // the block for the value; no OS code
    QueryValue,  // RegQueryValueExW into the block
};

// Reads the data of value `name` of the machine-wide key `subkey` ("SOFTWARE\..."
// with backslashes) into `block`, which is allocated zero-filled with
// `room` bytes after the value's own size: whether or not the value ends
// with a terminator, the block does. The type is not checked; the data is
// the value as stored. A size that leaves no room for `room` more bytes fails
// at Alloc.
StepResult<RegistryReadStep> ReadMachineValue(const PathChar* subkey, const PathChar* name,
                                              uint32_t room, HeapBlock* block);

}  // namespace platform
