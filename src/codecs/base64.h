// Base64 (RFC 4648 alphabet, "=" padding, no line breaks) over two growable buffers, and the
// cipher of the passwords kept in the users table: DES on the first 8 bytes, then Base64.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace kavo {

class CBase64 {
public:
    CBase64();
    virtual ~CBase64();
    CBase64(const CBase64&) = delete;
    CBase64& operator=(const CBase64&) = delete;

    // The text buffer receives the Base64 text, 4 characters per started group of 3 bytes.
    virtual void Encode(const char* text);  // up to its NUL; null counts as empty
    virtual void Encode(const unsigned char* data, std::size_t n);
    // The plain buffer receives the decoded bytes; white space in the text is dropped. Text
    // with a character outside the alphabet is refused: false, and the plain buffer is empty.
    virtual bool Decode(const char* text);  // up to its NUL; null counts as empty
    virtual bool Decode(const char* text, std::size_t n);

    // Both buffers are always followed by zero bytes, so they read as NUL-terminated text.
    // The decoded length counts the zero bytes that pad characters stand for.
    virtual const unsigned char* GetDecoded() const;
    virtual const char* GetEncoded() const;
    std::size_t GetDecodedLength() const { return plain_.length; }
    std::size_t GetEncodedLength() const { return text_.length; }

    // Base64 text of the password with its first 8 bytes (zero-padded) enciphered under the
    // 8-byte key; an empty password gives an empty text.
    std::string EncipherText(std::string_view key8, std::string_view text);
    // The password back from such a text; an empty or undecodable text gives an empty one.
    std::string DecipherText(std::string_view key8, std::string_view stored);

protected:
    struct Buffer {
        std::unique_ptr<unsigned char[]> data;
        std::size_t capacity = 0;
        std::size_t length = 0;
    };

    virtual void ReserveText(std::size_t n);
    virtual void ReservePlain(std::size_t n);
    virtual void LoadText(const char* text, std::size_t n);  // drops white space
    virtual void EncodeGroup(const unsigned char* in, std::size_t count, char* out) const;
    virtual void DecodeGroup(const unsigned char values[4], unsigned char* out) const;
    virtual void Split(const unsigned char in[3], unsigned char values[4]) const;
    virtual void Join(const unsigned char values[4], unsigned char out[3]) const;
    virtual bool IsWhitespace(unsigned char c) const;

private:
    static void Reserve(Buffer& buffer, std::size_t n);

    Buffer plain_;
    Buffer text_;
};

}  // namespace kavo
