// MD5 message digest (RFC 1321) of a byte string, rendered as 32 lower-case hex digits.
// The login, registration and password-change requests carry password digests in this form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kavo {

class CMD5Checksum {
public:
    CMD5Checksum();
    virtual ~CMD5Checksum();

    // Adds n bytes to the running digest; bytes are taken as they are (GBK text included).
    void Update(const void* data, std::size_t n);
    // Pads the message, returns the digest text and leaves the object ready for a new message.
    std::string Final();

    static std::string GetMD5(const void* data, std::size_t n);

private:
    void Transform(const unsigned char block[64]);
    void Reset();

    std::uint32_t state_[4];
    std::uint32_t count_[2];  // bits processed, low half first
    unsigned char buffer_[64];
};

}  // namespace kavo
