// The signature check: the MD5 digest of bytes 1024..2099 of a file compared
// with the signature list.
#pragma once

#include <cstdint>

#include "infect/infection_signatures.h"
#include "platform/file_ref.h"
#include "platform/types.h"

// The signature window of an infected file.
constexpr uint32_t kSignatureWindowOffset = 1024;
constexpr uint32_t kSignatureWindowSize = 1076;
constexpr uint32_t kSignatureWindowEnd = kSignatureWindowOffset + kSignatureWindowSize;  // 2100

// Examines the file at `path` against InfectionSignatures. TRUE when the file
// was examined (smaller than 2100 bytes, or its window read and compared);
// `*infected` is set to TRUE on a match and never set to FALSE. FALSE, with
// one log line, when a system call failed.
BOOL CheckInfection(const PathChar* path, BOOL* infected);

// What the image test already holds of a file for the check: the window's
// bytes, taken from its view of the file without a further read. A file so
// held is not opened again by the check.
struct HeldWindow {
    bool held = false;
    uint8_t bytes[kSignatureWindowSize];
    // Set by DigestHeldWindow: the window was digested against a list, and
    // the entry that matched (null for none). The check then takes the
    // answer without digesting again; the list must be the one it is given.
    bool digested = false;
    const char* matched = nullptr;
};

// Digests a held window against `signatures` ahead of the check (a reader
// thread does it while the walk goes on); nothing when none is held.
void DigestHeldWindow(HeldWindow* window, const SignatureList& signatures);

// The same on the file `file` names (the walk's reference, which pins the
// file for the repair), against `signatures`. `*matched` (optional)
// receives the entry of `signatures` that matched; it is left as it is when
// none did. What the image test holds of the file is used: the window in
// `window` (optional) when it is held, and the listed size
// (FileRef::listed) in place of a size query. A listed file under 2100
// bytes and a held window cost no system call; only the calls still made
// can fail, with their own lines.
BOOL CheckInfection(platform::FileRef& file, BOOL* infected,
                    const SignatureList& signatures = InfectionSignatures,
                    const char** matched = nullptr, const HeldWindow* window = nullptr);

// The first entry of `signatures` equal to the lower-case hex MD5 digest of
// `window`, or null.
const char* MatchSignature(const uint8_t (&window)[kSignatureWindowSize],
                           const SignatureList& signatures);
