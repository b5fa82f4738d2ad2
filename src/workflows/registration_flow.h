// The checks of the registration window, before anything is sent: the window and kavoctl
// refuse the same input with the same texts.
#pragma once

#include <string_view>

namespace kavo {

enum class RegistrationCheck {
    kOk,
    kEmptyName,       // "请输入注册用户名"
    kEmptyPassword,   // "请输入注册密码"
    kEmptyConfirm,    // "请再次输入密码"
    kConfirmDiffers,  // "两次输入的密码不一致，请重新输入！"
};

// In the window's order, stopping at the first refusal. The texts are compared as typed:
// blanks belong to a registered name or password.
RegistrationCheck CheckRegistrationForm(std::string_view user, std::string_view password,
                                        std::string_view confirm);
// The refusal's text (UTF-8); empty for kOk.
const char* RegistrationCheckMessage(RegistrationCheck check);

}  // namespace kavo
