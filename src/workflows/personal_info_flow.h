// The personal information window without the window: the membership status, the
// characters the password fields refuse, and the password change.
#pragma once

#include <string>

#include "net/kavo_tcp_client.h"

namespace kavo {

// The three texts beside "付费类型:", "到期时间:" and "余额:" (UTF-8).
struct CMemberTexts {
    std::string feeType;
    std::string expiryTime;
    std::string balance;  // decimal
};

// MemberStatus into `out`. False on failure; the reason stays in the client's last error.
bool FetchMemberTexts(CKavoTcpClient& client, CMemberTexts& out);

// The 19 characters a password field drops when typed (quotes, shell and markup signs).
bool IsRefusedPasswordChar(char32_t c);
// The text with every refused character taken out (what a paste leaves in the field).
std::string StripRefusedPasswordChars(const std::string& utf8);

enum class PasswordChange {
    kOk,
    kConfirmDiffers,    // the new password and its repetition differ
    kOldWrong,          // the old password is not the current user's
    kTooLong,           // the new password does not fit the users table's 20 bytes
    kRefused,           // the server said no (or could not be reached)
    kNotStoredLocally,  // the server took it, but the users table could not be written
};

// Changes the current user's password (all texts UTF-8, compared exactly): the checks, then
// ChangePassword with the current name and password; on success the current user and the
// users table hold the new password. Nothing is sent when a check fails.
PasswordChange ChangeCurrentPassword(CKavoTcpClient& client, const std::string& oldPassword,
                                     const std::string& newPassword, const std::string& confirm);
// "密码修改成功!", the partial outcome, or "密码修改失败，请尝试再次修改！".
const char* PasswordChangeMessage(PasswordChange result);

}  // namespace kavo
