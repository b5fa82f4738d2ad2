#include "codecs/md5_checksum.h"

#include <cstring>

namespace kavo {
namespace {

constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

std::uint32_t RotateLeft(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

CMD5Checksum::CMD5Checksum() { Reset(); }

CMD5Checksum::~CMD5Checksum() = default;

void CMD5Checksum::Reset() {
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    count_[0] = count_[1] = 0;
    std::memset(buffer_, 0, sizeof buffer_);
}

void CMD5Checksum::Transform(const unsigned char block[64]) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = std::uint32_t(block[i * 4]) | std::uint32_t(block[i * 4 + 1]) << 8 |
               std::uint32_t(block[i * 4 + 2]) << 16 | std::uint32_t(block[i * 4 + 3]) << 24;
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        std::uint32_t f;
        int k;
        switch (round) {
            case 0:
                f = (b & c) | (~b & d);
                k = i;
                break;
            case 1:
                f = (b & d) | (c & ~d);
                k = (5 * i + 1) % 16;
                break;
            case 2:
                f = b ^ c ^ d;
                k = (3 * i + 5) % 16;
                break;
            default:
                f = c ^ (b | ~d);
                k = (7 * i) % 16;
                break;
        }
        const std::uint32_t next = b + RotateLeft(a + f + kSine[i] + x[k], kShift[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void CMD5Checksum::Update(const void* data, std::size_t n) {
    if (n == 0) return;  // data may then be null
    const auto* in = static_cast<const unsigned char*>(data);
    std::size_t used = (count_[0] >> 3) & 63;
    const std::uint64_t bits = (std::uint64_t(count_[1]) << 32 | count_[0]) + std::uint64_t(n) * 8;
    count_[0] = std::uint32_t(bits);
    count_[1] = std::uint32_t(bits >> 32);

    if (used != 0) {
        const std::size_t take = n < 64 - used ? n : 64 - used;
        std::memcpy(buffer_ + used, in, take);
        used += take;
        in += take;
        n -= take;
        if (used < 64) return;
        Transform(buffer_);
    }
    for (; n >= 64; in += 64, n -= 64) Transform(in);
    if (n != 0) std::memcpy(buffer_, in, n);
}

std::string CMD5Checksum::Final() {
    unsigned char length[8];
    for (int i = 0; i < 4; ++i) {
        length[i] = static_cast<unsigned char>(count_[0] >> (8 * i));
        length[i + 4] = static_cast<unsigned char>(count_[1] >> (8 * i));
    }
    // 0x80, then zeros up to 56 bytes mod 64, then the bit count.
    const std::size_t used = (count_[0] >> 3) & 63;
    static const unsigned char kPadding[64] = {0x80};
    Update(kPadding, used < 56 ? 56 - used : 120 - used);
    Update(length, 8);

    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(32);
    for (std::uint32_t word : state_) {
        for (int i = 0; i < 4; ++i) {
            const unsigned byte = (word >> (8 * i)) & 0xff;
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        }
    }
    Reset();
    return text;
}

std::string CMD5Checksum::GetMD5(const void* data, std::size_t n) {
    CMD5Checksum md5;
    md5.Update(data, n);
    return md5.Final();
}

}  // namespace kavo
