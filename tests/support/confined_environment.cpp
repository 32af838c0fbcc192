// Linked into each test program that walks folder trees (zq_add_test
// CONFINED): it runs its tests only confined, where ZQ_TEST_TEMP names the
// folder its trees are made in (tests/support/confined_run natively, Wine's
// drive T: under Wine). Started any other way it fails before its first
// test, rather than make its trees, and walk, among the machine's own
// folders. Confined, every listing is also kept to that folder by the
// listing seam: a walk that steps out of it (or through "." or "..") is
// refused that step, on every backend, and the test it runs in fails at
// once, instead of walking on (under Wine, where nothing else ends such a
// walk, until its time runs out).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/listing_seam.h"
#include "support/temp_dir.h"

namespace {

class ConfinedOnly : public ::testing::Environment {
  public:
    void SetUp() override {
        const char* base = std::getenv("ZQ_TEST_TEMP");
        if (base == nullptr || base[0] == '\0') {
            GTEST_FAIL() << "this program walks folder trees and runs only confined: start it "
                            "through ctest (natively through tests/support/confined_run)";
        }
        platform::listing_seam::ConfineForTesting(
            testsupport::TempBase().native().c_str(), [](const PathChar* folder) {
                ADD_FAILURE() << "a walk stepped out of the tests' folder, to "
                              << std::filesystem::path(folder).string();
            });
    }
    void TearDown() override { platform::listing_seam::ConfineForTesting(nullptr, nullptr); }
};

[[maybe_unused]] ::testing::Environment* const kConfinedOnly =
    ::testing::AddGlobalTestEnvironment(new ConfinedOnly);

}  // namespace
