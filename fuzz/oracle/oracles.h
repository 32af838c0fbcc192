// What each parser of file data must make of any bytes, written from the file
// formats apart from the implementation. Each check writes the bytes to
// `work_file`, runs the parser on it, and returns an empty text when the
// outcome is the one the format allows, or else what went wrong. The fuzz
// targets abort on a complaint; the unit tests replay the kept inputs that
// once failed through the same checks, natively and in the Windows build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace fuzz_oracle {

// CommFunc::IsFilePE: an image of 512 bytes or more with "MZ" or "ZM", an
// e_lfanew whose 248-byte block lies within the file's pages (zeros after the
// end), "PE\0\0" there and no DLL bit. The file is left as it was.
std::string CheckPeCheck(const uint8_t* data, size_t size, const std::filesystem::path& work_file);

// CheckInfection against a list holding the digest of the test window
// pattern: examined (TRUE) in every case, infected exactly when the file has
// 2100 bytes or more and bytes 1024..2099 are the pattern. The file is left
// as it was.
std::string CheckWindowCheck(const uint8_t* data, size_t size,
                             const std::filesystem::path& work_file);

// RestoreHost: the file comes out repaired exactly as its trailer describes
// (TRUE), or byte for byte as it was (FALSE), as its layout allows.
std::string CheckRestoreHost(const uint8_t* data, size_t size,
                             const std::filesystem::path& work_file);

}  // namespace fuzz_oracle
