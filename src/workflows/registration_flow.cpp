#include "workflows/registration_flow.h"

namespace kavo {

RegistrationCheck CheckRegistrationForm(std::string_view user, std::string_view password,
                                        std::string_view confirm) {
    if (user.empty()) return RegistrationCheck::kEmptyName;
    if (password.empty()) return RegistrationCheck::kEmptyPassword;
    if (confirm.empty()) return RegistrationCheck::kEmptyConfirm;
    if (password != confirm) return RegistrationCheck::kConfirmDiffers;
    return RegistrationCheck::kOk;
}

const char* RegistrationCheckMessage(RegistrationCheck check) {
    switch (check) {
        case RegistrationCheck::kEmptyName:
            return "请输入注册用户名";
        case RegistrationCheck::kEmptyPassword:
            return "请输入注册密码";
        case RegistrationCheck::kEmptyConfirm:
            return "请再次输入密码";
        case RegistrationCheck::kConfirmDiffers:
            return "两次输入的密码不一致，请重新输入！";
        case RegistrationCheck::kOk:
            break;
    }
    return "";
}

}  // namespace kavo
