// The sample builder: synthetic clean and infected images in the infector's file layout.
#include "sample_builder/sample_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace sample {

namespace {

constexpr uint8_t kTestWindowPattern[kWindowSize] = {
#include "test_window_pattern.inc"
};

constexpr uint32_t kPeHeaderOffset = 0x80;
constexpr uint32_t kNtBlockSize = 248;

void StoreLe16(Bytes& out, size_t at, uint16_t value) {
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void StoreLe32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// Copies `data` to `out` at `at`, cut at the end of `out`.
void Put(Bytes& out, size_t at, const Bytes& data) {
    if (at >= out.size()) {
        return;
    }
    const size_t n = std::min(data.size(), out.size() - at);
    std::copy_n(data.begin(), n, out.begin() + static_cast<std::ptrdiff_t>(at));
}

uint32_t CheckedSize(size_t size) {
    if (size > 0xFFFFFFFFu) {
        throw std::invalid_argument("sample larger than 4 GiB");
    }
    return static_cast<uint32_t>(size);
}

}  // namespace

const Bytes& TestWindowPattern() {
    static const Bytes pattern(std::begin(kTestWindowPattern), std::end(kTestWindowPattern));
    return pattern;
}

Bytes FillerBytes(size_t count, uint32_t seed) {
    Bytes out(count);
    uint32_t x = seed * 0x9E3779B9u + 0x7F4A7C15u;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 7);
    }
    return out;
}

Bytes BuildPe(uint32_t size, const PeOptions& options) {
    Bytes header(kPeHeaderOffset + kNtBlockSize, 0);
    header[0] = options.zm ? 'Z' : 'M';
    header[1] = options.zm ? 'M' : 'Z';
    StoreLe16(header, 2, 0x90);  // bytes on the last page
    StoreLe16(header, 4, 3);     // pages
    StoreLe16(header, 8, 4);     // header paragraphs
    StoreLe16(header, 12, 0xFFFF);
    StoreLe16(header, 16, 0xB8);
    StoreLe16(header, 24, 0x40);
    StoreLe32(&header[0x3C], kPeHeaderOffset);
    const uint32_t nt = kPeHeaderOffset;
    header[nt] = 'P';
    header[nt + 1] = 'E';
    StoreLe16(header, nt + 4, 0x14C);  // i386
    StoreLe16(header, nt + 6, 1);      // one section
    StoreLe16(header, nt + 20, 0xE0);  // 32-bit optional header
    StoreLe16(header, nt + 22, options.dll ? 0x2102 : 0x0102);
    StoreLe16(header, nt + 24, 0x10B);         // PE32
    StoreLe32(&header[nt + 24 + 16], 0x1000);  // entry point
    StoreLe32(&header[nt + 24 + 32], 0x1000);  // section alignment
    StoreLe32(&header[nt + 24 + 36], 0x200);   // file alignment

    Bytes image = FillerBytes(size, options.seed);
    Put(image, 0, header);
    return image;
}

uint8_t ScrambleByte(uint8_t plain, uint32_t position, const uint8_t* key) {
    const uint8_t mixed = static_cast<uint8_t>(plain ^ key[position % kKeySize]);
    return static_cast<uint8_t>((mixed >> 3) | (mixed << 5));
}

uint8_t UnscrambleByte(uint8_t stored, uint32_t position, const uint8_t* key) {
    const uint8_t rotated = static_cast<uint8_t>((stored << 3) | (stored >> 5));
    return static_cast<uint8_t>(rotated ^ key[position % kKeySize]);
}

Sample BuildInfected(const Bytes& host, const InfectOptions& options) {
    const uint32_t head_offset = CheckedSize(host.size());
    const uint32_t length = options.head_length.value_or(head_offset);
    if (options.into_trailer > kTrailerSize || options.into_trailer > length) {
        throw std::invalid_argument("into_trailer must be at most 48 and the head's length");
    }
    if (options.into_trailer != 0 && options.garbage != 0) {
        throw std::invalid_argument("a head reaching into the trailer leaves no room for garbage");
    }
    if (!options.window.empty() && options.window.size() != kWindowSize) {
        throw std::invalid_argument("the window pattern must be 1076 bytes");
    }
    if (!options.window.empty() && head_offset < kWindowEnd) {
        throw std::invalid_argument("a window needs a host of 2100 bytes or more");
    }
    const uint64_t total =
        uint64_t{head_offset} + length - options.into_trailer + options.garbage + kTrailerSize;
    const uint32_t size = CheckedSize(total);
    const uint32_t head_end = CheckedSize(uint64_t{head_offset} + length);

    Sample sample;
    sample.head_offset = options.head_offset_field.value_or(head_offset);
    sample.head_end = options.head_end_field.value_or(head_end);

    // The trailer first: its first 16 bytes are the key.
    uint8_t trailer[kTrailerSize];
    std::memcpy(trailer, options.key_fill.data(), 4);
    StoreLe32(trailer + 4, sample.head_offset);
    StoreLe32(trailer + 8, sample.head_end);
    std::memcpy(trailer + 12, options.key_fill.data() + 4, 4);
    std::memcpy(trailer + 16, options.trailer_tail.data(), 32);
    const uint8_t* key = trailer;

    // The saved head: the host's first bytes, filler past its end.
    Bytes head(host.begin(), host.begin() + std::min<size_t>(host.size(), length));
    const Bytes filler = FillerBytes(length - head.size(), options.seed + 1);
    head.insert(head.end(), filler.begin(), filler.end());
    Bytes stored = head;
    for (uint32_t i = 0; i < std::min(length, kScrambledSize); ++i) {
        stored[i] = ScrambleByte(head[i], i, key);
    }

    // The infector over the host's start, the window inside it.
    Bytes& out = sample.infected;
    out.assign(host.begin(), host.end());
    uint32_t infector_end = std::min(length, head_offset);
    if (!options.window.empty()) {
        infector_end = std::max(infector_end, kWindowEnd);
    }
    Bytes infector = BuildPe(infector_end, PeOptions{false, false, options.seed});
    if (!options.window.empty()) {
        Put(infector, kWindowOffset, options.window);
    }
    Put(out, 0, infector);

    out.insert(out.end(), stored.begin(), stored.end() - options.into_trailer);
    const Bytes garbage = FillerBytes(options.garbage, options.seed + 2);
    out.insert(out.end(), garbage.begin(), garbage.end());
    out.insert(out.end(), trailer, trailer + kTrailerSize);
    if (out.size() != size) {
        throw std::logic_error("layout arithmetic");
    }

    if (options.head_offset_field || options.head_end_field) {
        return sample;  // a corrupt trailer: no repair to predict
    }
    // The repair's result, from the stored bytes as they stand in the file
    // (a head reaching into the trailer is restored from the trailer's bytes).
    Bytes restored(out.begin() + head_offset, out.begin() + head_end);
    for (uint32_t i = 0; i < std::min(length, kScrambledSize); ++i) {
        restored[i] = UnscrambleByte(restored[i], i, key);
    }
    sample.repaired.assign(out.begin(), out.begin() + head_offset);
    Put(sample.repaired, 0, restored);
    return sample;
}

}  // namespace sample
