// The form of a password in the users table's UserPwd column.
#pragma once

#include <string>
#include <string_view>

namespace kavo {

// The column text of a plain password (GBK bytes up to the first NUL): the enciphered text,
// or "(null)" for an empty password.
std::string EncipherPassword(std::string_view plain);

// The plain password of a column text; "(null)" in any letter case, an empty text and a
// text that does not decipher all give the empty password.
std::string DecipherPassword(std::string_view stored);

}  // namespace kavo
