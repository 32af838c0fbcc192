// The fuzz targets' work file: one per target and process, in a fresh folder
// under the temporary folder.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz_oracle {

inline const std::filesystem::path& FuzzWorkFile(const char* target) {
    static const std::filesystem::path path = [target] {
        std::filesystem::path dir =
            std::filesystem::temp_directory_path() /
            (std::string("zq-fuzz-") + target + "-" + std::to_string(std::rand()) + "-" +
             std::to_string(reinterpret_cast<uintptr_t>(&dir)));
        std::filesystem::create_directories(dir);
        return dir / "sample.exe";
    }();
    return path;
}

}  // namespace fuzz_oracle
