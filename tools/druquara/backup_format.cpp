// The backup file's header and body transform.
#include "backup_format.h"

#include <cstring>

namespace druquara {

namespace {

constexpr size_t kVersionAt = 8;
constexpr size_t kHeaderSizeAt = 12;
constexpr size_t kOriginalSizeAt = 16;
constexpr size_t kMd5At = 24;
constexpr size_t kFlagsAt = 40;
constexpr size_t kReservedAt = 44;

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void Put64(uint8_t* at, uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint32_t Get32(const uint8_t* at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | at[i];
    }
    return value;
}

uint64_t Get64(const uint8_t* at) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | at[i];
    }
    return value;
}

}  // namespace

void EncodeBackupHeader(const BackupHeader& header, uint8_t out[kBackupHeaderSize]) {
    std::memset(out, 0, kBackupHeaderSize);
    std::memcpy(out, kBackupMagic, sizeof(kBackupMagic));
    Put32(out + kVersionAt, kBackupVersion);
    Put32(out + kHeaderSizeAt, static_cast<uint32_t>(kBackupHeaderSize));
    Put64(out + kOriginalSizeAt, header.original_size);
    std::memcpy(out + kMd5At, header.md5, sizeof(header.md5));
    Put32(out + kFlagsAt, 0);
    Put32(out + kReservedAt, 0);
}

HeaderCheck DecodeBackupHeader(const uint8_t* data, size_t length, BackupHeader* header) {
    if (length < kBackupHeaderSize || std::memcmp(data, kBackupMagic, sizeof(kBackupMagic)) != 0) {
        return HeaderCheck::NotABackup;
    }
    if (Get32(data + kVersionAt) != kBackupVersion ||
        Get32(data + kHeaderSizeAt) != kBackupHeaderSize || Get32(data + kFlagsAt) != 0 ||
        Get32(data + kReservedAt) != 0) {
        return HeaderCheck::UnsupportedVersion;
    }
    header->original_size = Get64(data + kOriginalSizeAt);
    std::memcpy(header->md5, data + kMd5At, sizeof(header->md5));
    return HeaderCheck::Ok;
}

void TransformBackupBytes(uint8_t* data, size_t length, uint64_t offset) {
    const size_t start = static_cast<size_t>(offset % sizeof(kBackupKey));
    for (size_t i = 0; i < length; ++i) {
        data[i] ^= kBackupKey[(start + i) % sizeof(kBackupKey)];
    }
}

}  // namespace druquara
