#include "workflows/registration_flow.h"

#include <gtest/gtest.h>

#include <string>

using namespace kavo;

TEST(RegistrationFlow, ChecksRunInTheWindowsOrderAndStopAtTheFirstRefusal) {
    // Everything empty: the name is asked for first, then the password, then the repeat.
    EXPECT_EQ(CheckRegistrationForm("", "", ""), RegistrationCheck::kEmptyName);
    EXPECT_EQ(CheckRegistrationForm("u", "", "x"), RegistrationCheck::kEmptyPassword);
    EXPECT_EQ(CheckRegistrationForm("u", "p", ""), RegistrationCheck::kEmptyConfirm);
    EXPECT_EQ(CheckRegistrationForm("u", "p", "P"), RegistrationCheck::kConfirmDiffers);
    EXPECT_EQ(CheckRegistrationForm("u", "p", "p"), RegistrationCheck::kOk);
    // As typed: blanks count as characters and are compared too.
    EXPECT_EQ(CheckRegistrationForm(" ", " ", " "), RegistrationCheck::kOk);
    EXPECT_EQ(CheckRegistrationForm("u", "p ", "p"), RegistrationCheck::kConfirmDiffers);

    EXPECT_EQ(std::string(RegistrationCheckMessage(RegistrationCheck::kEmptyName)),
              "请输入注册用户名");
    EXPECT_EQ(std::string(RegistrationCheckMessage(RegistrationCheck::kEmptyPassword)),
              "请输入注册密码");
    EXPECT_EQ(std::string(RegistrationCheckMessage(RegistrationCheck::kEmptyConfirm)),
              "请再次输入密码");
    EXPECT_EQ(std::string(RegistrationCheckMessage(RegistrationCheck::kConfirmDiffers)),
              "两次输入的密码不一致，请重新输入！");
    EXPECT_EQ(std::string(RegistrationCheckMessage(RegistrationCheck::kOk)), "");
}
