// Reading values of one machine-wide registry key. Every call returns the
// registry's own status: 0 on success, 2 (ERROR_FILE_NOT_FOUND) for a key or
// value that is not there, 234 (ERROR_MORE_DATA) for a buffer too small.
//
// Windows: HKEY_LOCAL_MACHINE opened with KEY_READ and no view flag, so a
// 32-bit program reads the 32-bit view. POSIX: the key is one text file of
// `Name=Value` lines below /etc, named after the key without its leading
// "SOFTWARE" part ("SOFTWARE\Morlane\QRVCommon" is /etc/Morlane/QRVCommon).
// Because the key decides which library an elevated scan loads, a file that
// anyone but root may write is refused like a missing key. See
// posix/registry_posix.h for the format.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace platform {

using RegistryStatus = int32_t;

constexpr RegistryStatus kRegistryOk = 0;
constexpr RegistryStatus kRegistryNotFound = 2;    // ERROR_FILE_NOT_FOUND
constexpr RegistryStatus kRegistryMoreData = 234;  // ERROR_MORE_DATA

class RegistryKey {
  public:
    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens `subkey` ("SOFTWARE\..." with backslashes) of the machine-wide
    // hive for reading (RegOpenKeyExW).
    RegistryStatus OpenMachineKey(const PathChar* subkey);

    // The size in bytes of the data of value `name` (RegQueryValueExW without
    // a buffer). The type is not checked. The data is the value as stored:
    // nothing guarantees a terminating NUL.
    RegistryStatus QueryValueSize(const PathChar* name, uint32_t* size);

    // Reads the data of value `name` into `data`, which holds `*size` bytes;
    // `*size` receives the count of bytes of the value (RegQueryValueExW).
    RegistryStatus QueryValue(const PathChar* name, void* data, uint32_t* size);

    // Closes the key (RegCloseKey); the result is ignored.
    void Close();

  private:
    void* handle_ = nullptr;  // HKEY, or the POSIX backend's parsed key file
};

}  // namespace platform
