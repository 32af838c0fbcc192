// MD5 (RFC 1321): the context's update and final steps over the signature window.
#include "infect/md5_context.h"

#include <cstring>

namespace {

// The standard's padding: one 0x80 byte, then zeros.
constexpr uint8_t kPadding[64] = {0x80};

constexpr char kHexDigits[] = "0123456789abcdef";

inline uint32_t RotateLeft(uint32_t x, int s) {
    return (x << s) | (x >> (32 - s));
}

inline uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// The four auxiliary functions, F and G in their two-operation forms.
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) {
    return z ^ (x & (y ^ z));
}
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) {
    return y ^ (z & (x ^ y));
}
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) {
    return x ^ y ^ z;
}
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) {
    return y ^ (x | ~z);
}

// One step: a = b + ((a + fn(b, c, d) + word + constant) <<< shift).
#define MD5_STEP(fn, a, b, c, d, word, constant, shift) \
    do {                                                \
        (a) += fn((b), (c), (d)) + (word) + (constant); \
        (a) = (b) + RotateLeft((a), (shift));           \
    } while (0)

}  // namespace

void MD5Context::Init() {
    count_low = 0;
    count_high = 0;
    state_a = 0x67452301;
    state_b = 0xEFCDAB89;
    state_c = 0x98BADCFE;
    state_d = 0x10325476;
    finalised = 0;
    std::memset(digest, 0, sizeof(digest));
}

void MD5Context::Update(const void* data, uint32_t length) {
    const uint8_t* in = static_cast<const uint8_t*>(data);
    uint32_t index = count_low % 64;

    count_low += length;
    if (count_low < length) {
        ++count_high;
    }

    if (index != 0 && length >= 64 - index) {
        const uint32_t fill = 64 - index;
        std::memcpy(buffer + index, in, fill);
        Transform(buffer);
        in += fill;
        length -= fill;
        index = 0;
    }
    while (length >= 64) {
        Transform(in);
        in += 64;
        length -= 64;
    }
    if (length != 0) {
        std::memcpy(buffer + index, in, length);
    }
}

void MD5Context::Final() {
    if (finalised == 1) {
        return;
    }
    uint8_t bit_count[8];
    StoreLe32(bit_count, count_low << 3);
    StoreLe32(bit_count + 4, (count_high << 3) | (count_low >> 29));

    const uint32_t index = count_low % 64;
    const uint32_t pad_length = index < 56 ? 56 - index : 120 - index;
    Update(kPadding, pad_length);
    Update(bit_count, sizeof(bit_count));

    StoreLe32(digest, state_a);
    StoreLe32(digest + 4, state_b);
    StoreLe32(digest + 8, state_c);
    StoreLe32(digest + 12, state_d);
    finalised = 1;
}

std::string MD5Context::HexDigest() {
    Final();
    std::string text;
    DigestToHex(digest, text);
    return text;
}

void MD5Context::Transform(const uint8_t* block) {
    const uint32_t x0 = LoadLe32(block), x1 = LoadLe32(block + 4), x2 = LoadLe32(block + 8),
                   x3 = LoadLe32(block + 12), x4 = LoadLe32(block + 16), x5 = LoadLe32(block + 20),
                   x6 = LoadLe32(block + 24), x7 = LoadLe32(block + 28), x8 = LoadLe32(block + 32),
                   x9 = LoadLe32(block + 36), x10 = LoadLe32(block + 40),
                   x11 = LoadLe32(block + 44), x12 = LoadLe32(block + 48),
                   x13 = LoadLe32(block + 52), x14 = LoadLe32(block + 56),
                   x15 = LoadLe32(block + 60);
    uint32_t a = state_a, b = state_b, c = state_c, d = state_d;

    // Round 1.
    MD5_STEP(F, a, b, c, d, x0, 0xd76aa478, 7);
    MD5_STEP(F, d, a, b, c, x1, 0xe8c7b756, 12);
    MD5_STEP(F, c, d, a, b, x2, 0x242070db, 17);
    MD5_STEP(F, b, c, d, a, x3, 0xc1bdceee, 22);
    MD5_STEP(F, a, b, c, d, x4, 0xf57c0faf, 7);
    MD5_STEP(F, d, a, b, c, x5, 0x4787c62a, 12);
    MD5_STEP(F, c, d, a, b, x6, 0xa8304613, 17);
    MD5_STEP(F, b, c, d, a, x7, 0xfd469501, 22);
    MD5_STEP(F, a, b, c, d, x8, 0x698098d8, 7);
    MD5_STEP(F, d, a, b, c, x9, 0x8b44f7af, 12);
    MD5_STEP(F, c, d, a, b, x10, 0xffff5bb1, 17);
    MD5_STEP(F, b, c, d, a, x11, 0x895cd7be, 22);
    MD5_STEP(F, a, b, c, d, x12, 0x6b901122, 7);
    MD5_STEP(F, d, a, b, c, x13, 0xfd987193, 12);
    MD5_STEP(F, c, d, a, b, x14, 0xa679438e, 17);
    MD5_STEP(F, b, c, d, a, x15, 0x49b40821, 22);

    // Round 2.
    MD5_STEP(G, a, b, c, d, x1, 0xf61e2562, 5);
    MD5_STEP(G, d, a, b, c, x6, 0xc040b340, 9);
    MD5_STEP(G, c, d, a, b, x11, 0x265e5a51, 14);
    MD5_STEP(G, b, c, d, a, x0, 0xe9b6c7aa, 20);
    MD5_STEP(G, a, b, c, d, x5, 0xd62f105d, 5);
    MD5_STEP(G, d, a, b, c, x10, 0x02441453, 9);
    MD5_STEP(G, c, d, a, b, x15, 0xd8a1e681, 14);
    MD5_STEP(G, b, c, d, a, x4, 0xe7d3fbc8, 20);
    MD5_STEP(G, a, b, c, d, x9, 0x21e1cde6, 5);
    MD5_STEP(G, d, a, b, c, x14, 0xc33707d6, 9);
    MD5_STEP(G, c, d, a, b, x3, 0xf4d50d87, 14);
    MD5_STEP(G, b, c, d, a, x8, 0x455a14ed, 20);
    MD5_STEP(G, a, b, c, d, x13, 0xa9e3e905, 5);
    MD5_STEP(G, d, a, b, c, x2, 0xfcefa3f8, 9);
    MD5_STEP(G, c, d, a, b, x7, 0x676f02d9, 14);
    MD5_STEP(G, b, c, d, a, x12, 0x8d2a4c8a, 20);

    // Round 3.
    MD5_STEP(H, a, b, c, d, x5, 0xfffa3942, 4);
    MD5_STEP(H, d, a, b, c, x8, 0x8771f681, 11);
    MD5_STEP(H, c, d, a, b, x11, 0x6d9d6122, 16);
    MD5_STEP(H, b, c, d, a, x14, 0xfde5380c, 23);
    MD5_STEP(H, a, b, c, d, x1, 0xa4beea44, 4);
    MD5_STEP(H, d, a, b, c, x4, 0x4bdecfa9, 11);
    MD5_STEP(H, c, d, a, b, x7, 0xf6bb4b60, 16);
    MD5_STEP(H, b, c, d, a, x10, 0xbebfbc70, 23);
    MD5_STEP(H, a, b, c, d, x13, 0x289b7ec6, 4);
    MD5_STEP(H, d, a, b, c, x0, 0xeaa127fa, 11);
    MD5_STEP(H, c, d, a, b, x3, 0xd4ef3085, 16);
    MD5_STEP(H, b, c, d, a, x6, 0x04881d05, 23);
    MD5_STEP(H, a, b, c, d, x9, 0xd9d4d039, 4);
    MD5_STEP(H, d, a, b, c, x12, 0xe6db99e5, 11);
    MD5_STEP(H, c, d, a, b, x15, 0x1fa27cf8, 16);
    MD5_STEP(H, b, c, d, a, x2, 0xc4ac5665, 23);

    // Round 4.
    MD5_STEP(I, a, b, c, d, x0, 0xf4292244, 6);
    MD5_STEP(I, d, a, b, c, x7, 0x432aff97, 10);
    MD5_STEP(I, c, d, a, b, x14, 0xab9423a7, 15);
    MD5_STEP(I, b, c, d, a, x5, 0xfc93a039, 21);
    MD5_STEP(I, a, b, c, d, x12, 0x655b59c3, 6);
    MD5_STEP(I, d, a, b, c, x3, 0x8f0ccc92, 10);
    MD5_STEP(I, c, d, a, b, x10, 0xffeff47d, 15);
    MD5_STEP(I, b, c, d, a, x1, 0x85845dd1, 21);
    MD5_STEP(I, a, b, c, d, x8, 0x6fa87e4f, 6);
    MD5_STEP(I, d, a, b, c, x15, 0xfe2ce6e0, 10);
    MD5_STEP(I, c, d, a, b, x6, 0xa3014314, 15);
    MD5_STEP(I, b, c, d, a, x13, 0x4e0811a1, 21);
    MD5_STEP(I, a, b, c, d, x4, 0xf7537e82, 6);
    MD5_STEP(I, d, a, b, c, x11, 0xbd3af235, 10);
    MD5_STEP(I, c, d, a, b, x2, 0x2ad7d2bb, 15);
    MD5_STEP(I, b, c, d, a, x9, 0xeb86d391, 21);

    state_a += a;
    state_b += b;
    state_c += c;
    state_d += d;
}

#undef MD5_STEP

void DigestToHex(const uint8_t* digest, std::string& text) {
    text.clear();
    text.reserve(33);
    for (int i = 0; i < 16; ++i) {
        text.push_back(kHexDigits[digest[i] >> 4]);
        text.push_back(kHexDigits[digest[i] & 0x0F]);
    }
}
