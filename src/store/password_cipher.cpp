#include "store/password_cipher.h"

#include "codecs/base64.h"
#include "codecs/gbk_text.h"

namespace kavo {
namespace {

constexpr std::string_view kNullPassword = "(null)";

// The key is put together when it is needed rather than lying in the binary as one word.
// Rows written with one key read back only with the same key: never change it.
std::string PasswordKey() {
    static const unsigned char steps[8] = {13, 8, 19, 4, 21, 11, 2, 16};
    std::string key;
    unsigned char c = 'a' + 7;
    for (unsigned char s : steps) {
        c = static_cast<unsigned char>('a' + (c - 'a' + s) % 26);
        key.push_back(static_cast<char>(c));
    }
    return key;
}

}  // namespace

std::string EncipherPassword(std::string_view plain) {
    std::size_t nul = plain.find('\0');
    if (nul != std::string_view::npos) plain = plain.substr(0, nul);
    if (plain.empty()) return std::string(kNullPassword);
    CBase64 codec;
    std::string text = codec.EncipherText(PasswordKey(), plain);
    return text.empty() ? std::string(kNullPassword) : text;
}

std::string DecipherPassword(std::string_view stored) {
    if (stored.empty() || EqualsNoCase(stored, kNullPassword)) return {};
    CBase64 codec;
    return codec.DecipherText(PasswordKey(), stored);
}

}  // namespace kavo
