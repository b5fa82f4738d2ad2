// The Data Encryption Standard (FIPS 46-3) on single 64-bit blocks (ECB), with the standard
// key schedule and bit order: the most significant bit of the first byte is bit 1. It enciphers
// the first block of the passwords kept in the users table.
#pragma once

#include <cstdint>

namespace kavo {

class CDes {
public:
    // The key's 8 bytes; the parity bits (the lowest of each byte) are ignored.
    explicit CDes(const unsigned char key[8]);

    void EncryptBlock(unsigned char block[8]) const;
    void DecryptBlock(unsigned char block[8]) const;

private:
    void Crypt(unsigned char block[8], bool decrypt) const;

    std::uint64_t subkeys_[16];  // 48 bits each, in the low bits
};

}  // namespace kavo
