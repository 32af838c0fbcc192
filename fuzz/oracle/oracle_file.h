// Writing and reading back the oracles' work file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace fuzz_oracle {

using Bytes = std::vector<uint8_t>;

// False when the file could not be written.
bool WriteWorkFile(const std::filesystem::path& path, const uint8_t* data, size_t size);
Bytes ReadWorkFile(const std::filesystem::path& path);

inline uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace fuzz_oracle
