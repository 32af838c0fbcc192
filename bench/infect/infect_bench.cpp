// Side-by-side timings of the infection check, in one run on one machine:
//   md5     MD5Context against OpenSSL's MD5 (EVP, which may use assembly),
//           on a large buffer and on 1076-byte windows;
//   check   CheckInfection per file over a folder of 4 KiB files, against a
//           bare open + pread(1076) + close loop over the same files.
// Rounds alternate between the two sides; each side reports its median and
// the ratio of the medians.
//
//   bench_infect [--files N] [--rounds R] [--dir PATH]
#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_ref.h"
#include "infect/check_infection.h"
#include "infect/md5_context.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs `a` and `b` alternately `rounds` times; returns their medians.
std::pair<double, double> SideBySide(int rounds, const std::function<void()>& a,
                                     const std::function<void()>& b) {
    std::vector<double> ta, tb;
    a();  // warm-up
    b();
    for (int i = 0; i < rounds; ++i) {
        ta.push_back(Seconds(a));
        tb.push_back(Seconds(b));
    }
    return {Median(ta), Median(tb)};
}

std::vector<uint8_t> Filler(size_t size, uint32_t seed) {
    std::vector<uint8_t> out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return out;
}

volatile uint8_t g_sink;  // keeps the digests alive

void OurMd5(const uint8_t* data, uint32_t size) {
    MD5Context md5;
    md5.Init();
    md5.Update(data, size);
    md5.Final();
    g_sink = g_sink ^ md5.digest[0];
}

void OpenSslMd5(const uint8_t* data, uint32_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data, size, digest, &length, EVP_md5(), nullptr);
    g_sink = g_sink ^ digest[0];
}

void BenchMd5(int rounds) {
    const uint32_t big = 64u << 20;
    const std::vector<uint8_t> buffer = Filler(big, 1);
    auto [ours, theirs] = SideBySide(
        rounds, [&] { OurMd5(buffer.data(), big); }, [&] { OpenSslMd5(buffer.data(), big); });
    std::printf("md5 64 MiB buffer:   MD5Context %.0f MB/s, OpenSSL %.0f MB/s, ratio %.2fx\n",
                big / ours / 1e6, big / theirs / 1e6, ours / theirs);

    const int windows = 200000;
    const std::vector<uint8_t> window = Filler(1076, 2);
    auto [ours_w, theirs_w] = SideBySide(
        rounds,
        [&] {
            for (int i = 0; i < windows; ++i) {
                OurMd5(window.data(), 1076);
            }
        },
        [&] {
            for (int i = 0; i < windows; ++i) {
                OpenSslMd5(window.data(), 1076);
            }
        });
    std::printf("md5 1076-byte window: MD5Context %.2f us, OpenSSL EVP %.2f us, ratio %.2fx\n",
                ours_w / windows * 1e6, theirs_w / windows * 1e6, ours_w / theirs_w);
}

void BenchCheck(int rounds, int files, const fs::path& dir) {
    fs::create_directories(dir);
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i) {
        const fs::path path = dir / ("f" + std::to_string(i) + ".exe");
        const std::vector<uint8_t> bytes = Filler(4096, static_cast<uint32_t>(i) + 10);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), 4096);
        paths.push_back(path.string());
    }
    const char* const none[] = {"00000000000000000000000000000000"};
    const SignatureList list = {none, 1};

    auto [check, bare] = SideBySide(
        rounds,
        [&] {
            for (const auto& path : paths) {
                BOOL infected = FALSE;
                platform::FileRef file_ref(path.c_str());
                if (!CheckInfection(file_ref, &infected, list)) {
                    std::abort();
                }
            }
        },
        [&] {
            uint8_t window[1076];
            for (const auto& path : paths) {
                const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0 || pread(fd, window, sizeof(window), 1024) != 1076) {
                    std::abort();
                }
                close(fd);
                g_sink = g_sink ^ window[0];
            }
        });
    std::printf(
        "check %d files of 4 KiB: CheckInfection %.2f us/file, "
        "open+pread+close %.2f us/file, ratio %.2fx\n",
        files, check / files * 1e6, bare / files * 1e6, check / bare);

    // The least the check itself needs: the size query and the digest on top
    // of the bare loop.
    auto [check2, floor] = SideBySide(
        rounds,
        [&] {
            for (const auto& path : paths) {
                BOOL infected = FALSE;
                platform::FileRef file_ref(path.c_str());
                CheckInfection(file_ref, &infected, list);
            }
        },
        [&] {
            uint8_t window[1076];
            struct stat info;
            for (const auto& path : paths) {
                const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0 || fstat(fd, &info) != 0 ||
                    pread(fd, window, sizeof(window), 1024) != 1076) {
                    std::abort();
                }
                close(fd);
                OurMd5(window, sizeof(window));
            }
        });
    std::printf(
        "check %d files of 4 KiB: CheckInfection %.2f us/file, "
        "open+fstat+pread+close+MD5 %.2f us/file, ratio %.2fx\n",
        files, check2 / files * 1e6, floor / files * 1e6, check2 / floor);
    fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
    int files = 10000;
    int rounds = 7;
    fs::path dir = fs::temp_directory_path() / ("zq-bench-infect-" + std::to_string(getpid()));
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--files") == 0) {
            files = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--rounds") == 0) {
            rounds = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--dir") == 0) {
            dir = argv[i + 1];
        }
    }
    std::printf(
        "OpenSSL: %s (MD5 through EVP; x86-64 builds use its assembly md5 block "
        "function)\n",
        OpenSSL_version(OPENSSL_VERSION));
    BenchMd5(rounds);
    BenchCheck(rounds, files, dir);
    return 0;
}
