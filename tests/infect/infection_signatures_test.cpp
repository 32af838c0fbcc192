// The signature list of a build: the production entry alone, or followed by
// the test signature in a build configured with ZQ_TEST_SIGNATURE.
#include "infect/infection_signatures.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr char kProductionSignature[] = "101af5b2fdf61b4b0098101deccadf17";

TEST(InfectionSignaturesTest, ReleaseBuildHoldsTheOneProductionEntry) {
#ifdef ZQ_TEST_SIGNATURE_IN_BUILD
    GTEST_SKIP() << "this build carries the test signature " << ZQ_TEST_SIGNATURE_IN_BUILD;
#else
    ASSERT_EQ(1u, InfectionSignatures.count);
    EXPECT_STREQ(kProductionSignature, InfectionSignatures.entries[0]);
#endif
}

TEST(InfectionSignaturesTest, TestBuildAddsExactlyItsSignatureAfterTheProductionOne) {
#ifndef ZQ_TEST_SIGNATURE_IN_BUILD
    GTEST_SKIP() << "no test signature in this build";
#else
    ASSERT_EQ(2u, InfectionSignatures.count);
    EXPECT_STREQ(kProductionSignature, InfectionSignatures.entries[0]);
    EXPECT_STREQ(ZQ_TEST_SIGNATURE_IN_BUILD, InfectionSignatures.entries[1]);
#endif
}

TEST(InfectionSignaturesTest, EntriesAre32LowerCaseHexDigits) {
    for (const char* signature : InfectionSignatures) {
        const std::string text = signature;
        EXPECT_EQ(32u, text.size()) << text;
        EXPECT_EQ(std::string::npos, text.find_first_not_of("0123456789abcdef")) << text;
    }
}

}  // namespace
