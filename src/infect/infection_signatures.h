// The signature list: MD5 digests, in lower-case hex, of the signature window
// of infected files.
#pragma once

#include <cstddef>

// A fixed, ordered, read-only list of zero-terminated signature strings.
struct SignatureList {
    const char* const* entries;
    size_t count;

    const char* const* begin() const { return entries; }
    const char* const* end() const { return entries + count; }
};

// The list the check uses.
extern const SignatureList InfectionSignatures;
