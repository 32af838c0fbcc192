// MD5Context against RFC 1321's test suite, the padding boundaries and the
// way input is split.
#include "infect/md5_context.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sample_builder/sample_builder.h"
#include "support/temp_dir.h"

namespace {

std::string Md5Hex(const void* data, uint32_t length) {
    MD5Context md5;
    md5.Init();
    md5.Update(data, length);
    md5.Final();
    return md5.HexDigest();
}

std::string Md5Hex(const std::string& text) {
    return Md5Hex(text.data(), static_cast<uint32_t>(text.size()));
}

struct Rfc1321Case {
    const char* input;
    const char* digest;
};

TEST(MD5ContextTest, Rfc1321TestSuite) {
    const Rfc1321Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
         "0",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.digest, Md5Hex(c.input)) << '"' << c.input << '"';
    }
}

// Lengths around the padding rule's two branches and the block size. The
// digests are those of n bytes of 'a' (from an independent MD5).
TEST(MD5ContextTest, PaddingBoundaries) {
    const struct {
        uint32_t length;
        const char* digest;
    } cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},  // 1 padding byte
        {56, "3b0c8ac703f828b04c6c197006d17218"},  // 64 padding bytes
        {57, "652b906d60af96844ebd21b674f35e93"},  {63, "b06521f39153d618550606be297466d5"},
        {64, "014842d480b571495a4a0363793f7367"},  {65, "c743a45e0d2e6a95cb859adae0248435"},
        {119, "8a7bd0732ed6a28ce75f6dabc90e1613"}, {120, "5f61c0ccad4cac44c75ff505e1f1e537"},
    };
    for (const auto& c : cases) {
        const std::string input(c.length, 'a');
        EXPECT_EQ(c.digest, Md5Hex(input)) << c.length << " bytes";
    }
}

// The signature window: 1076 bytes in one call or in pieces of any sizes.
TEST(MD5ContextTest, WindowInOneCallOrInPieces) {
    const testsupport::Bytes window = testsupport::PatternBytes(1076, 11);
    const std::string whole = Md5Hex(window.data(), 1076);

    const std::vector<std::vector<uint32_t>> splits = {
        {1, 1075},
        {63, 1013},
        {64, 1012},
        {65, 1011},
        {52, 1024},
        {1024, 52},
        {1075, 1},
        {0, 1076, 0},
        {7, 57, 64, 128, 820},
        {100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 76},
    };
    for (const auto& pieces : splits) {
        MD5Context md5;
        md5.Init();
        uint32_t at = 0;
        for (uint32_t piece : pieces) {
            md5.Update(window.data() + at, piece);
            at += piece;
        }
        ASSERT_EQ(1076u, at);
        EXPECT_EQ(whole, md5.HexDigest()) << "split starting " << pieces[0];
    }

    MD5Context bytewise;
    bytewise.Init();
    for (uint8_t byte : window) {
        bytewise.Update(&byte, 1);
    }
    EXPECT_EQ(whole, bytewise.HexDigest());
}

// The 1076-byte standard test pattern and its digest, both made with Python's
// hashlib when the table was generated.
TEST(MD5ContextTest, TheTestPatternHasTheTestSignature) {
    const sample::Bytes& pattern = sample::TestWindowPattern();
    ASSERT_EQ(1076u, pattern.size());
    EXPECT_EQ(sample::kTestSignature, Md5Hex(pattern.data(), 1076));
}

TEST(MD5ContextTest, FinalIsIdempotent) {
    const std::string input = "The quick brown fox jumps over the lazy dog";
    MD5Context md5;
    md5.Init();
    md5.Update(input.data(), static_cast<uint32_t>(input.size()));
    md5.Final();
    const std::string first = md5.HexDigest();
    md5.Final();
    EXPECT_EQ(first, md5.HexDigest());
    EXPECT_EQ("9e107d9d372bb6826bd81d3542a419d6", first);

    // Feeding a finalised context never reaches the stored digest.
    md5.Update(input.data(), static_cast<uint32_t>(input.size()));
    md5.Final();
    EXPECT_EQ(first, md5.HexDigest());
}

TEST(MD5ContextTest, InitStartsFreshAndZeroesTheDigest) {
    MD5Context md5;
    md5.Init();
    md5.Update("abc", 3);
    md5.Final();
    md5.Init();
    EXPECT_EQ(0, md5.finalised);
    for (uint8_t byte : md5.digest) {
        EXPECT_EQ(0, byte);
    }
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", md5.HexDigest());
}

TEST(MD5ContextTest, ByteCountCarriesIntoTheHighWord) {
    MD5Context md5;
    md5.Init();
    md5.count_low = 0xFFFFFFC0u;  // a whole number of blocks, so nothing is waiting
    const testsupport::Bytes block = testsupport::PatternBytes(64, 3);
    md5.Update(block.data(), 64);
    EXPECT_EQ(0u, md5.count_low);
    EXPECT_EQ(1u, md5.count_high);
}

TEST(DigestToHexTest, LowerCaseHighNibbleFirst) {
    const uint8_t digest[16] = {0x00, 0x01, 0x0f, 0x10, 0x7a, 0x9b, 0xa0, 0xff,
                                0xc3, 0x3c, 0xde, 0xad, 0xbe, 0xef, 0x80, 0x08};
    std::string text = "left over text that must go";
    DigestToHex(digest, text);
    EXPECT_EQ("00010f107a9ba0ffc33cdeadbeef8008", text);
}

// Every byte value, sixteen to a digest, against the C library's "%02x".
TEST(DigestToHexTest, EveryByteValueAsTwoLowerCaseDigits) {
    for (int first = 0; first < 256; first += 16) {
        uint8_t digest[16];
        std::string expected;
        for (int i = 0; i < 16; ++i) {
            digest[i] = static_cast<uint8_t>(first + i);
            char pair[8];
            std::snprintf(pair, sizeof(pair), "%02x", first + i);
            expected += pair;
        }
        std::string text;
        DigestToHex(digest, text);
        EXPECT_EQ(expected, text) << "bytes from " << first;
    }
}

}  // namespace
