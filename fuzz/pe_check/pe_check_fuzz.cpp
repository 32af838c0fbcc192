// libFuzzer target: CommFunc::IsFilePE on arbitrary file contents and
// lengths. The answer must be the one the bounds rule gives (fuzz/oracle),
// with no read outside the file's pages (AddressSanitizer) and the file left
// as it was.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "oracles.h"
#include "work_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string complaint =
        fuzz_oracle::CheckPeCheck(data, size, fuzz_oracle::FuzzWorkFile("pe-check"));
    if (!complaint.empty()) {
        std::fprintf(stderr, "%s\n", complaint.c_str());
        std::abort();
    }
    return 0;
}
