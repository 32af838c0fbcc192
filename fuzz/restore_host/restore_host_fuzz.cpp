// libFuzzer target: RestoreHost on arbitrary file contents. The file must
// come out either repaired exactly as the trailer describes (result TRUE) or
// byte for byte as it was (result FALSE), and the result must match what the
// file's layout allows (fuzz/oracle). The repair is given the digest of the
// input's own window as its signature list, so it reaches the steps after
// its check of the window.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "oracle_file.h"
#include "oracles.h"
#include "work_file.h"

// Trailers asking for a block between this and 2^31 bytes are allocated
// before the size test refuses them; under AddressSanitizer each such call
// costs seconds, so they are left to the unit tests (which cover the refusal)
// and the fuzzer spends its time elsewhere. Larger lengths are refused before
// any allocation and stay in.
constexpr uint32_t kMaxFuzzedLength = 1u << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 48) {
        const uint8_t* trailer = data + size - 48;
        const uint32_t length =
            fuzz_oracle::LoadLe32(trailer + 8) - fuzz_oracle::LoadLe32(trailer + 4);
        if (length > kMaxFuzzedLength && length < 0x80000000u) {
            return -1;  // not added to the corpus
        }
    }
    const std::string complaint =
        fuzz_oracle::CheckRestoreHost(data, size, fuzz_oracle::FuzzWorkFile("restore"));
    if (!complaint.empty()) {
        std::fprintf(stderr, "%s\n", complaint.c_str());
        std::abort();
    }
    return 0;
}
