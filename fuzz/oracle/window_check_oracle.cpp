// The window check written again from the file layout, independently of the scanner, for the fuzzer
// to compare.
#include <algorithm>
#include <string>

#include "platform/file_ref.h"
#include "infect/check_infection.h"
#include "oracle_file.h"
#include "oracles.h"
#include "sample_builder/sample_builder.h"

namespace fuzz_oracle {

std::string CheckWindowCheck(const uint8_t* data, size_t size,
                             const std::filesystem::path& work_file) {
    if (!WriteWorkFile(work_file, data, size)) {
        return "the work file could not be written";
    }
    static const char* const kEntries[] = {sample::kTestSignature};
    const SignatureList list = {kEntries, 1};
    BOOL infected = FALSE;
    platform::FileRef file_ref(work_file.c_str());
    const BOOL examined = CheckInfection(file_ref, &infected, list);
    const sample::Bytes& pattern = sample::TestWindowPattern();
    // The window is compared byte for byte with the pattern whose digest is
    // the one signature: a different window with the same MD5 is not to be
    // found.
    const bool expected = size >= 2100 && std::equal(pattern.begin(), pattern.end(), data + 1024);
    if (examined != TRUE) {
        return "CheckInfection failed on a readable file";
    }
    if ((infected != FALSE) != expected) {
        return "CheckInfection set infected " + std::to_string(infected) + ", the window says " +
               std::to_string(expected);
    }
    if (infected != FALSE && infected != TRUE) {
        return "infected holds " + std::to_string(infected);
    }
    if (ReadWorkFile(work_file) != Bytes(data, data + size)) {
        return "CheckInfection changed the file";
    }
    return std::string();
}

}  // namespace fuzz_oracle
