// The signature check: reads the window (or takes it from the image test), digests it and looks the
// digest up.
#include "infect/check_infection.h"

#include <string>

#include "infect/md5_context.h"
#include "log/logger.h"
#include "platform/file.h"

BOOL CheckInfection(const PathChar* path, BOOL* infected) {
    platform::FileRef file(path);
    return CheckInfection(file, infected);
}

const char* MatchSignature(const uint8_t (&window)[kSignatureWindowSize],
                           const SignatureList& signatures) {
    MD5Context md5;
    md5.Init();
    md5.Update(window, sizeof(window));
    md5.Final();
    const std::string hex = md5.HexDigest();
    for (const char* signature : signatures) {
        if (hex == signature) {
            return signature;
        }
    }
    return nullptr;
}

void DigestHeldWindow(HeldWindow* window, const SignatureList& signatures) {
    if (window->held) {
        window->matched = MatchSignature(window->bytes, signatures);
        window->digested = true;
    }
}

namespace {

void Match(const uint8_t (&window)[kSignatureWindowSize], BOOL* infected,
           const SignatureList& signatures, const char** matched) {
    const char* signature = MatchSignature(window, signatures);
    if (signature != nullptr) {
        *infected = TRUE;
        if (matched != nullptr) {
            *matched = signature;
        }
    }
}

}  // namespace

BOOL CheckInfection(platform::FileRef& ref, BOOL* infected, const SignatureList& signatures,
                    const char** matched, const HeldWindow* held) {
    if (ref.listed && ref.listed_size_low < kSignatureWindowEnd) {
        return TRUE;  // too small to carry the window, as listed: clean
    }
    if (held != nullptr && held->held) {
        if (!held->digested) {
            Match(held->bytes, infected, signatures, matched);
        } else if (held->matched != nullptr) {
            *infected = TRUE;
            if (matched != nullptr) {
                *matched = held->matched;
            }
        }
        return TRUE;
    }
    platform::File file;
    if (!file.Open(ref, platform::FileIntent::CheckInfection)) {
        g_Logger.Write("Call CreateFile failed: 0x%x", file.Error());
        return FALSE;
    }

    uint32_t size = ref.listed_size_low;
    if (!ref.listed && !file.SizeLow(&size)) {
        g_Logger.Write("Call GetFileSize failed: 0x%x", file.Error());
        return FALSE;
    }
    if (size < kSignatureWindowEnd) {
        return TRUE;  // too small to carry the window: clean
    }

    if (!file.Seek(static_cast<int32_t>(kSignatureWindowOffset), platform::SeekOrigin::Begin)) {
        g_Logger.Write("Call SetFilePointer failed: 0x%x", file.Error());
        return FALSE;
    }
    // The count read is deliberately not consulted: bytes a short read did not
    // deliver stay zero and are digested as such. The repair reads the window
    // again, whole, before it writes.
    uint8_t window[kSignatureWindowSize] = {};
    if (!file.Read(window, sizeof(window))) {
        g_Logger.Write("Call ReadFile failed: 0x%x", file.Error());
        return FALSE;
    }

    Match(window, infected, signatures, matched);
    return TRUE;
}
