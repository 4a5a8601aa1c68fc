#include "net/md5.h"

#include <cstring>

#include "base/secret_wipe.h"

namespace qm {

namespace {

constexpr std::uint32_t sine_constants[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// Shift amounts, four per round.
constexpr int shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

std::uint32_t rotate_left(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

std::uint32_t load_le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void store_le32(unsigned char* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

void transform(std::uint32_t state[4], const unsigned char block[64]) {
    std::uint32_t words[16];
    for (int i = 0; i < 16; ++i) words[i] = load_le32(block + 4 * i);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int step = 0; step < 64; ++step) {
        int round = step / 16;
        std::uint32_t mixed;
        int index;
        switch (round) {
        case 0: mixed = (b & c) | (~b & d); index = step; break;
        case 1: mixed = (b & d) | (c & ~d); index = (5 * step + 1) % 16; break;
        case 2: mixed = b ^ c ^ d; index = (3 * step + 5) % 16; break;
        default: mixed = c ^ (b | ~d); index = (7 * step) % 16; break;
        }
        std::uint32_t next = b + rotate_left(a + mixed + words[index] + sine_constants[step],
                                             shifts[round][step % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    // The block may hold a password.
    wipe_secret(words, sizeof words);
}

}  // namespace

void md5_init(md5_context& context) {
    context.state[0] = 0x67452301;
    context.state[1] = 0xefcdab89;
    context.state[2] = 0x98badcfe;
    context.state[3] = 0x10325476;
    context.count[0] = context.count[1] = 0;
    std::memset(context.buffer, 0, sizeof context.buffer);
}

void md5_update(md5_context& context, const void* data, std::size_t length) {
    const auto* input = static_cast<const unsigned char*>(data);
    std::size_t used = (context.count[0] >> 3) & 63;

    std::uint64_t bits = (std::uint64_t(context.count[1]) << 32 | context.count[0]) +
                         (std::uint64_t(length) << 3);
    context.count[0] = static_cast<std::uint32_t>(bits);
    context.count[1] = static_cast<std::uint32_t>(bits >> 32);

    std::size_t room = 64 - used;
    if (length < room) {
        if (length) std::memcpy(context.buffer + used, input, length);
        return;
    }
    std::memcpy(context.buffer + used, input, room);
    transform(context.state, context.buffer);
    std::size_t done = room;
    for (; done + 64 <= length; done += 64) transform(context.state, input + done);
    if (done < length) std::memcpy(context.buffer, input + done, length - done);
}

void md5_final(unsigned char digest[16], md5_context& context) {
    unsigned char length_bytes[8];
    store_le32(length_bytes, context.count[0]);
    store_le32(length_bytes + 4, context.count[1]);

    // One 0x80 byte and zeros up to 56 bytes modulo 64, then the bit count.
    static const unsigned char padding[64] = {0x80};
    std::size_t used = (context.count[0] >> 3) & 63;
    std::size_t pad = used < 56 ? 56 - used : 120 - used;
    md5_update(context, padding, pad);
    md5_update(context, length_bytes, 8);

    for (int i = 0; i < 4; ++i) store_le32(digest + 4 * i, context.state[i]);
    wipe_secret(&context, sizeof context);
}

void hmac_md5(const void* text, std::size_t text_length, const void* key, std::size_t key_length,
              unsigned char digest[16]) {
    constexpr std::size_t block = 64;
    unsigned char key_digest[16];
    if (key_length > block) {
        md5_context context;
        md5_init(context);
        md5_update(context, key, key_length);
        md5_final(key_digest, context);
        key = key_digest;
        key_length = sizeof key_digest;
    }

    unsigned char inner_pad[block] = {};
    unsigned char outer_pad[block] = {};
    if (key_length) {
        std::memcpy(inner_pad, key, key_length);
        std::memcpy(outer_pad, key, key_length);
    }
    for (std::size_t i = 0; i < block; ++i) {
        inner_pad[i] ^= 0x36;
        outer_pad[i] ^= 0x5c;
    }

    unsigned char inner_digest[16];
    md5_context context;
    md5_init(context);
    md5_update(context, inner_pad, block);
    md5_update(context, text, text_length);
    md5_final(inner_digest, context);

    md5_init(context);
    md5_update(context, outer_pad, block);
    md5_update(context, inner_digest, sizeof inner_digest);
    md5_final(digest, context);

    // Pads and key digest are derived from the password.
    wipe_secret(key_digest, sizeof key_digest);
    wipe_secret(inner_pad, sizeof inner_pad);
    wipe_secret(outer_pad, sizeof outer_pad);
    wipe_secret(inner_digest, sizeof inner_digest);
}

}  // namespace qm
