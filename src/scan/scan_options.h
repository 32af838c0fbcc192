// What a walk does with the images it finds, beyond where it walks.
#pragma once

#include "infect/infection_signatures.h"

struct ScanOptions {
    // The list the signature check compares with.
    const SignatureList* signatures = &InfectionSignatures;
    // Check only: infected images are reported Infected and left as they
    // are; nothing is handed to the quarantine library or written.
    bool check_only = false;
    // An infected image whose backup the quarantine library did not keep is
    // reported Infected and left as it is.
    bool require_backup = false;
};
