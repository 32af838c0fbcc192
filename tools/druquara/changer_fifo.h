// The test quarantine library's one service that differs between systems.
#pragma once

#include <filesystem>

namespace druquara {

// Makes a FIFO at `path`; false where the system has none (Windows).
bool MakeFifo(const std::filesystem::path& path);

}  // namespace druquara
