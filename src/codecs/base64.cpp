#include "codecs/base64.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "codecs/des.h"

namespace kavo {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kNotInAlphabet = 254;
constexpr unsigned char kPad = 255;

// Each alphabet character also stands for itself with the high bit set, and so does "=".
const std::array<unsigned char, 256>& DecodeTable() {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t;
        t.fill(kNotInAlphabet);
        for (unsigned char i = 0; i < 64; ++i) {
            const auto c = static_cast<unsigned char>(kAlphabet[i]);
            t[c] = i;
            t[c | 0x80] = i;
        }
        t['='] = kPad;
        t['=' | 0x80] = kPad;
        return t;
    }();
    return table;
}

// The 8-byte DES key from the caller's key text, zero-padded when shorter.
CDes MakeCipher(std::string_view key8) {
    unsigned char key[8] = {};
    std::memcpy(key, key8.data(), std::min<std::size_t>(key8.size(), 8));
    return CDes(key);
}

}  // namespace

CBase64::CBase64() = default;

CBase64::~CBase64() = default;

void CBase64::Reserve(Buffer& buffer, std::size_t n) {
    // Grown in whole 4096-byte pages, always at least one byte more than asked for, so
    // every result is followed by a zero byte.
    if (buffer.capacity < n || !buffer.data) {
        buffer.capacity = (n / 4096 + 1) * 4096;
        buffer.data = std::make_unique<unsigned char[]>(buffer.capacity);
    } else {
        std::memset(buffer.data.get(), 0, buffer.capacity);
    }
    buffer.length = 0;
}

void CBase64::ReserveText(std::size_t n) { Reserve(text_, n); }

void CBase64::ReservePlain(std::size_t n) { Reserve(plain_, n); }

void CBase64::Encode(const char* text) {
    Encode(reinterpret_cast<const unsigned char*>(text), text ? std::strlen(text) : 0);
}

void CBase64::Encode(const unsigned char* data, std::size_t n) {
    // 2n covers 4 characters per 3 bytes from two bytes on; one byte still needs 4.
    ReserveText(std::max(2 * n, std::size_t{4}));
    char* out = reinterpret_cast<char*>(text_.data.get());
    for (std::size_t at = 0; at < n; at += 3) {
        EncodeGroup(data + at, std::min<std::size_t>(3, n - at), out + text_.length);
        text_.length += 4;
    }
}

void CBase64::EncodeGroup(const unsigned char* in, std::size_t count, char* out) const {
    unsigned char group[3] = {};
    std::memcpy(group, in, count);
    unsigned char values[4];
    Split(group, values);
    for (int i = 0; i < 4; ++i) out[i] = i <= int(count) ? kAlphabet[values[i]] : '=';
}

void CBase64::Split(const unsigned char in[3], unsigned char values[4]) const {
    values[0] = in[0] >> 2;
    values[1] = ((in[0] & 0x03) << 4) | (in[1] >> 4);
    values[2] = ((in[1] & 0x0F) << 2) | (in[2] >> 6);
    values[3] = in[2] & 0x3F;
}

void CBase64::Join(const unsigned char values[4], unsigned char out[3]) const {
    out[0] = static_cast<unsigned char>((values[0] << 2) | (values[1] >> 4));
    out[1] = static_cast<unsigned char>(((values[1] & 0x0F) << 4) | (values[2] >> 2));
    out[2] = static_cast<unsigned char>(((values[2] & 0x03) << 6) | values[3]);
}

bool CBase64::IsWhitespace(unsigned char c) const { return (c >= 7 && c <= 13) || c == ' '; }

void CBase64::LoadText(const char* text, std::size_t n) {
    ReserveText(n);
    unsigned char* out = text_.data.get();
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!IsWhitespace(c)) out[text_.length++] = c;
    }
}

void CBase64::DecodeGroup(const unsigned char values[4], unsigned char* out) const {
    unsigned char bits[4];
    for (int i = 0; i < 4; ++i) bits[i] = values[i] == kPad ? 0 : values[i];
    Join(bits, out);
}

bool CBase64::Decode(const char* text) { return Decode(text, text ? std::strlen(text) : 0); }

bool CBase64::Decode(const char* text, std::size_t n) {
    if (n == 0) text = "";
    LoadText(text, n);
    ReservePlain(n);
    const auto& table = DecodeTable();
    const unsigned char* in = text_.data.get();
    const std::size_t count = text_.length;
    for (std::size_t i = 0; i < count; ++i) {
        if (table[in[i]] == kNotInAlphabet) return false;  // the plain buffer stays empty
    }
    // Every group, the last short one too, is joined into 3 bytes; the capacity of more
    // than n bytes leaves room for them. A full group always counts 3 bytes, pads included;
    // a short one counts as many bytes as it has characters.
    for (std::size_t at = 0; at < count; at += 4) {
        const std::size_t chars = std::min<std::size_t>(4, count - at);
        unsigned char values[4] = {};
        for (std::size_t i = 0; i < chars; ++i) values[i] = table[in[at + i]];
        DecodeGroup(values, plain_.data.get() + plain_.length);
        plain_.length += chars == 4 ? 3 : chars;
    }
    return true;
}

const unsigned char* CBase64::GetDecoded() const {
    static const unsigned char kEmpty[1] = {};
    return plain_.data ? plain_.data.get() : kEmpty;
}

const char* CBase64::GetEncoded() const {
    return text_.data ? reinterpret_cast<const char*>(text_.data.get()) : "";
}

std::string CBase64::EncipherText(std::string_view key8, std::string_view text) {
    // The password is C text: it ends at its first NUL.
    text = text.substr(0, std::min(text.find('\0'), text.size()));
    if (text.empty()) return {};
    // Short passwords are enciphered together with the zero bytes that follow them; bytes
    // from the ninth on stay as they are.
    std::string block(text);
    if (block.size() < 8) block.resize(8, '\0');
    MakeCipher(key8).EncryptBlock(reinterpret_cast<unsigned char*>(block.data()));
    Encode(reinterpret_cast<const unsigned char*>(block.data()), block.size());
    return std::string(GetEncoded(), GetEncodedLength());
}

std::string CBase64::DecipherText(std::string_view key8, std::string_view stored) {
    if (stored.empty() || !Decode(stored.data(), stored.size()) || GetDecodedLength() < 8) {
        return {};
    }
    // The enciphered block may hold zero bytes: it is taken whole, the plain rest up to
    // its first zero byte.
    const std::string_view decoded(reinterpret_cast<const char*>(plain_.data.get()), plain_.length);
    std::string password(decoded.substr(0, 8));
    const std::string_view rest = decoded.substr(8);
    password += rest.substr(0, rest.find('\0'));
    MakeCipher(key8).DecryptBlock(reinterpret_cast<unsigned char*>(password.data()));
    password.resize(std::min(password.find('\0'), password.size()));
    return password;
}

}  // namespace kavo
