#include <algorithm>
#include <string>

#include "infect/restore_host.h"
#include "oracle_file.h"
#include "oracles.h"

namespace fuzz_oracle {

namespace {

// The repaired file the layout asks for, or false when the repair must be
// refused.
bool ExpectedRepair(const Bytes& in, Bytes* out) {
    if (in.size() < 48) {
        return false;
    }
    const uint8_t* trailer = in.data() + in.size() - 48;
    const uint32_t head_offset = LoadLe32(trailer + 4);
    const uint32_t head_end = LoadLe32(trailer + 8);
    const uint32_t length = head_end - head_offset;
    if (length >= 0x80000000u) {
        return false;  // refused at the allocation
    }
    if (in.size() < uint64_t{head_offset} + length || head_offset >= 0x80000000u) {
        return false;  // outside the file, or a negative seek
    }
    Bytes head(in.begin() + head_offset, in.begin() + head_offset + length);
    for (uint32_t i = 0; i < length && i < 768; ++i) {
        const uint8_t v = head[i];
        head[i] = static_cast<uint8_t>(((v << 3) | (v >> 5)) ^ trailer[i % 16]);
    }
    if (length < 2 || !((head[0] == 'M' && head[1] == 'Z') || (head[0] == 'Z' && head[1] == 'M'))) {
        return false;
    }
    out->assign(in.begin(), in.begin() + head_offset);
    std::copy_n(head.begin(), std::min<size_t>(length, head_offset), out->begin());
    return true;
}

}  // namespace

std::string CheckRestoreHost(const uint8_t* data, size_t size,
                             const std::filesystem::path& work_file) {
    if (!WriteWorkFile(work_file, data, size)) {
        return "the work file could not be written";
    }
    const Bytes in(data, data + size);
    const BOOL result = RestoreHost(work_file.c_str());
    const Bytes after = ReadWorkFile(work_file);
    Bytes expected;
    const bool repairable = ExpectedRepair(in, &expected);
    if (result != (repairable ? TRUE : FALSE)) {
        return "RestoreHost returned " + std::to_string(result) + ", the layout says " +
               std::to_string(repairable);
    }
    if (after != (repairable ? expected : in)) {
        return std::string("file ") + (repairable ? "not repaired as described" : "changed") +
               " after RestoreHost returned " + std::to_string(result);
    }
    return std::string();
}

}  // namespace fuzz_oracle
