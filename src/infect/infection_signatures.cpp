// The signature list: the production digest, and the test digest in a build made with one.
#include "infect/infection_signatures.h"

namespace {

const char* const kSignatures[] = {
    "101af5b2fdf61b4b0098101deccadf17",
#ifdef ZQ_TEST_SIGNATURE
    // Only in test builds: the digest of the synthetic samples' window.
    ZQ_TEST_SIGNATURE,
#endif
};

}  // namespace

const SignatureList InfectionSignatures = {kSignatures,
                                           sizeof(kSignatures) / sizeof(kSignatures[0])};
