// MD5 (RFC 1321) as the signature check uses it: a plain context record fed
// in pieces, finalised once, read as 32 lower-case hex digits.
#pragma once

#include <cstdint>
#include <string>

struct MD5Context {
    uint32_t count_low;   // bytes fed so far, modulo 2^32
    uint32_t count_high;  // incremented each time count_low wraps
    uint32_t state_a;
    uint32_t state_b;
    uint32_t state_c;
    uint32_t state_d;
    uint8_t buffer[64];  // bytes not yet transformed (at most 63 between calls)
    uint8_t finalised;   // 0 until Final has run, then 1
    uint8_t digest[16];  // all zero until Final has run

    // Starts a fresh digest.
    void Init();
    // Feeds `length` bytes. Whole 64-byte blocks are transformed straight from
    // `data`; only a partial block is copied into the buffer.
    void Update(const void* data, uint32_t length);
    // Pads, appends the bit count and stores the digest. A second call
    // changes nothing.
    void Final();
    // Final, then the digest as 32 lower-case hex digits.
    std::string HexDigest();

  private:
    // The RFC 1321 block transform of one 64-byte block into the state.
    void Transform(const uint8_t* block);
};

// Replaces `text` with the 32 lower-case hex digits of the 16 digest bytes,
// most significant nibble of each byte first.
void DigestToHex(const uint8_t* digest, std::string& text);
