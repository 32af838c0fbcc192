// libFuzzer target: CheckInfection on arbitrary file contents. Infected
// exactly when the window holds the test pattern (fuzz/oracle); never a
// failure on a readable file, never a change to it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "oracles.h"
#include "work_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string complaint =
        fuzz_oracle::CheckWindowCheck(data, size, fuzz_oracle::FuzzWorkFile("window-check"));
    if (!complaint.empty()) {
        std::fprintf(stderr, "%s\n", complaint.c_str());
        std::abort();
    }
    return 0;
}
