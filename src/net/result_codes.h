// The user's message for a result code: the server's result of a refused request, or the
// client's own 26 for a transport failure.
#pragma once

#include <string>

namespace kavo {

// The message of a result code, as UTF-8, with the code in upper-case hexadecimal in front:
// 26 gives "(1A)无法连接远程服务器". Codes outside the table, 0 included, give the
// undefined-error text.
std::string ResultMessage(int code);

}  // namespace kavo
