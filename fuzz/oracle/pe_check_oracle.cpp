// The image test written again from the file layout, independently of the scanner, for the fuzzer
// to compare.
#include <string>

#include "oracle_file.h"
#include "oracles.h"
#include "scan/comm_func.h"

namespace fuzz_oracle {

namespace {

// The answer the bounds rule gives for a file holding `data`: the view is the
// file's bytes followed by zeros to the end of its last 4096-byte page.
bool ExpectedImage(const uint8_t* data, size_t size) {
    const uint64_t size_low = static_cast<uint32_t>(size);
    if (size_low < 512) {
        return false;
    }
    const uint64_t view = (size_low + 4095) / 4096 * 4096;
    auto byte_at = [&](uint64_t at) -> uint8_t { return at < size ? data[at] : 0; };
    const bool mz = byte_at(0) == 'M' && byte_at(1) == 'Z';
    const bool zm = byte_at(0) == 'Z' && byte_at(1) == 'M';
    if (!mz && !zm) {
        return false;
    }
    const int64_t lfanew = static_cast<int32_t>(LoadLe32(data + 0x3C));
    if (lfanew < 0 || static_cast<uint64_t>(lfanew) + 248 > view) {
        return false;
    }
    const uint64_t at = static_cast<uint64_t>(lfanew);
    if (byte_at(at) != 'P' || byte_at(at + 1) != 'E' || byte_at(at + 2) != 0 ||
        byte_at(at + 3) != 0) {
        return false;
    }
    return (byte_at(at + 23) & 0x20) == 0;  // IMAGE_FILE_DLL, 0x2000 of the 16-bit field
}

}  // namespace

std::string CheckPeCheck(const uint8_t* data, size_t size, const std::filesystem::path& work_file) {
    if (!WriteWorkFile(work_file, data, size)) {
        return "the work file could not be written";
    }
    const BOOL answer = CommFunc::IsFilePE(work_file.c_str());
    const bool expected = ExpectedImage(data, size);
    if ((answer != FALSE) != expected) {
        return "IsFilePE answered " + std::to_string(answer) + ", the bounds rule says " +
               std::to_string(expected);
    }
    if (ReadWorkFile(work_file) != Bytes(data, data + size)) {
        return "IsFilePE changed the file";
    }
    return std::string();
}

}  // namespace fuzz_oracle
