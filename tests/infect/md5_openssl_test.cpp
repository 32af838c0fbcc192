// MD5Context against OpenSSL's MD5 on random inputs fed in random pieces
// (native builds only).
#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "infect/md5_context.h"

namespace {

std::string OpenSslMd5Hex(const std::vector<uint8_t>& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EXPECT_EQ(1, EVP_Digest(data.data(), data.size(), digest, &size, EVP_md5(), nullptr));
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex.push_back(kDigits[digest[i] >> 4]);
        hex.push_back(kDigits[digest[i] & 15]);
    }
    return hex;
}

TEST(MD5ContextDifferentialTest, AgreesWithOpenSslOnRandomInputs) {
    std::mt19937 rng(20261210);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 2000; ++round) {
        // Mostly short inputs around the block size, some up to 20 KiB.
        const uint32_t length = round % 10 == 0 ? rng() % 20480 : rng() % 300;
        std::vector<uint8_t> data(length);
        for (auto& b : data) {
            b = static_cast<uint8_t>(byte(rng));
        }
        MD5Context md5;
        md5.Init();
        uint32_t at = 0;
        while (at < length) {
            const uint32_t piece = std::min<uint32_t>(length - at, rng() % 150);
            md5.Update(data.data() + at, piece);
            at += piece;
        }
        ASSERT_EQ(OpenSslMd5Hex(data), md5.HexDigest())
            << "round " << round << ", " << length << " bytes";
    }
}

}  // namespace
