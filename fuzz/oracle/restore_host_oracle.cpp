// The repair written again from the file layout, independently of the scanner, for the fuzzer to
// compare.
#include <algorithm>
#include <string>

#include "platform/file_ref.h"
#include "infect/check_infection.h"
#include "infect/md5_context.h"
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
    if (head_offset < 2100) {
        return false;  // the host cannot begin inside the infector's window
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

// The digest of the input's own window (zeros past its end), so that the
// repair's check of the window passes and the steps after it are reached.
std::string OwnWindowDigest(const uint8_t* data, size_t size) {
    uint8_t window[kSignatureWindowSize] = {};
    for (uint32_t i = 0; i < kSignatureWindowSize && kSignatureWindowOffset + i < size; ++i) {
        window[i] = data[kSignatureWindowOffset + i];
    }
    MD5Context md5;
    md5.Init();
    md5.Update(window, sizeof(window));
    md5.Final();
    return md5.HexDigest();
}

}  // namespace

std::string CheckRestoreHost(const uint8_t* data, size_t size,
                             const std::filesystem::path& work_file) {
    if (!WriteWorkFile(work_file, data, size)) {
        return "the work file could not be written";
    }
    const Bytes in(data, data + size);
    const std::string digest = OwnWindowDigest(data, size);
    const char* const entries[] = {digest.c_str()};
    platform::FileRef file_ref(work_file.c_str());
    const BOOL result = RestoreHost(file_ref, SignatureList{entries, 1});
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
