// libFuzzer target: RestoreHost on arbitrary file contents. The file must
// come out either repaired exactly as the trailer describes (result TRUE) or
// byte for byte as it was (result FALSE), and the result must match what the
// file's layout allows. The signature list given to the repair holds the
// digest of the input's own window, so the repair's window check passes and
// the fuzzer reaches the steps after it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "infect/check_infection.h"
#include "infect/md5_context.h"
#include "infect/restore_host.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::filesystem::path& WorkFile() {
    static const std::filesystem::path path = [] {
        std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("zq-fuzz-restore-" + std::to_string(std::rand()) + "-" +
                                     std::to_string(reinterpret_cast<uintptr_t>(&dir)));
        std::filesystem::create_directories(dir);
        return dir / "sample.exe";
    }();
    return path;
}

uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The repaired file the layout asks for, or false when the repair must be
// refused. Written from the file format, apart from the implementation.
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

}  // namespace

// Trailers asking for a block between this and 2^31 bytes are allocated
// before the size test refuses them; under AddressSanitizer each such call
// costs seconds, so they are left to the unit tests (which cover the refusal)
// and the fuzzer spends its time elsewhere. Larger lengths are refused before
// any allocation and stay in.
constexpr uint32_t kMaxFuzzedLength = 1u << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 48) {
        const uint8_t* trailer = data + size - 48;
        const uint32_t length = LoadLe32(trailer + 8) - LoadLe32(trailer + 4);
        if (length > kMaxFuzzedLength && length < 0x80000000u) {
            return -1;  // not added to the corpus
        }
    }
    const Bytes in(data, data + size);
    const std::filesystem::path& path = WorkFile();
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!file) {
            std::abort();
        }
    }

    uint8_t window[kSignatureWindowSize] = {};
    for (uint32_t i = 0; i < kSignatureWindowSize && kSignatureWindowOffset + i < size; ++i) {
        window[i] = data[kSignatureWindowOffset + i];
    }
    MD5Context md5;
    md5.Init();
    md5.Update(window, sizeof(window));
    md5.Final();
    const std::string digest = md5.HexDigest();
    const char* const entries[] = {digest.c_str()};
    const BOOL result = RestoreHost(path.c_str(), SignatureList{entries, 1});

    std::ifstream file(path, std::ios::binary);
    const Bytes after{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    Bytes expected;
    const bool repairable = ExpectedRepair(in, &expected);
    if (result != (repairable ? TRUE : FALSE)) {
        std::fprintf(stderr, "RestoreHost returned %d, the layout says %d\n", result, repairable);
        std::abort();
    }
    if (after != (repairable ? expected : in)) {
        std::fprintf(stderr, "file %s after RestoreHost returned %d\n",
                     repairable ? "not repaired as described" : "changed", result);
        std::abort();
    }
    return 0;
}
