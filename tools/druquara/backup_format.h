// The backup file of the stand-in quarantine library ("*.quar") and its
// restore program, zqrestore. A backup is a header of 48 bytes, then every
// byte of the original file XORed with kBackupKey[offset % 16], where offset
// is the byte's position in the original. The header begins with bytes that
// no executable image begins with, and the body hides the original's bytes,
// so no scan takes a backup for the infected program it holds.
//
// Header, all numbers little-endian:
//   0   8  magic "ZQQB" CR LF 0x1A LF
//   8   4  format version, 1
//   12  4  header size, 48
//   16  8  size of the original in bytes; the body is exactly this long
//   24  16 MD5 digest of the original's bytes
//   40  4  flags, 0 (a reader of version 1 refuses any other value)
//   44  4  reserved, 0
#pragma once

#include <cstddef>
#include <cstdint>

namespace druquara {

constexpr size_t kBackupHeaderSize = 48;
constexpr uint32_t kBackupVersion = 1;
constexpr uint8_t kBackupMagic[8] = {'Z', 'Q', 'Q', 'B', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint8_t kBackupKey[16] = {0xA5, 0x3C, 0x96, 0x5A, 0x0F, 0xE1, 0x78, 0xC3,
                                    0x2D, 0xB4, 0x69, 0xD2, 0x4B, 0x87, 0x1E, 0xF0};

struct BackupHeader {
    uint64_t original_size = 0;
    uint8_t md5[16] = {};
};

// The 48 header bytes for `header`.
void EncodeBackupHeader(const BackupHeader& header, uint8_t out[kBackupHeaderSize]);

enum class HeaderCheck {
    Ok,
    NotABackup,          // shorter than a header, or another magic
    UnsupportedVersion,  // a version, header size or flags this reader does not know
};

// Reads a header from the first `length` bytes of a backup.
HeaderCheck DecodeBackupHeader(const uint8_t* data, size_t length, BackupHeader* header);

// Transforms bytes between the original and the body, in place (the same
// operation both ways). `offset` is the position of data[0] in the original.
void TransformBackupBytes(uint8_t* data, size_t length, uint64_t offset);

}  // namespace druquara
