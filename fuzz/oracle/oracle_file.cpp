// Writing and reading back the oracles' work file.
#include "oracle_file.h"

#include <fstream>
#include <iterator>

namespace fuzz_oracle {

bool WriteWorkFile(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(file);
}

Bytes ReadWorkFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace fuzz_oracle
