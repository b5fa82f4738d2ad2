#include "workflows/personal_info_flow.h"

#include "codecs/gbk_text.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "workflows/messages.h"

namespace kavo {

bool FetchMemberTexts(CKavoTcpClient& client, CMemberTexts& out) {
    CMemberStatus status;
    if (!client.MemberStatus(status)) return false;
    out.feeType = GbkToUtf8(status.FeeType);
    out.expiryTime = GbkToUtf8(status.ExpiryTime);
    out.balance = std::to_string(static_cast<std::int32_t>(status.Balance));
    return true;
}

bool IsRefusedPasswordChar(char32_t c) {
    switch (c) {
        case U'`':
        case U'\'':
        case U'&':
        case U'!':
        case U'~':
        case U'$':
        case U'%':
        case U'^':
        case U'*':
        case U'(':
        case U')':
        case U'+':
        case U';':
        case U'"':
        case U'|':
        case U',':
        case U'<':
        case U'>':
        case U'?':
            return true;
        default:
            return false;
    }
}

std::string StripRefusedPasswordChars(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8)  // every refused character is ASCII, never part of a longer sequence
        if (static_cast<unsigned char>(c) >= 0x80 ||
            !IsRefusedPasswordChar(static_cast<char32_t>(c)))
            out.push_back(c);
    return out;
}

PasswordChange ChangeCurrentPassword(CKavoTcpClient& client, const std::string& oldPassword,
                                     const std::string& newPassword, const std::string& confirm) {
    if (newPassword != confirm) return PasswordChange::kConfirmDiffers;
    CAppState& state = AppState();
    const std::string current(FieldText(state.CurrentUser.UserPwd));
    if (Utf8ToGbk(oldPassword) != current) return PasswordChange::kOldWrong;
    const std::string next = Utf8ToGbk(newPassword);
    // Cut to the field, the stored password would no longer be the one the server knows.
    if (next.size() > sizeof(state.CurrentUser.UserPwd)) return PasswordChange::kTooLong;
    const std::string name(state.CurrentUserName());
    if (!client.ChangePassword(name, current, next)) return PasswordChange::kRefused;
    state.SetCurrentUser(name, next);
    // The row keeps its login state: the user is still logged in on this PC.
    // The server already holds the new password: a local write that fails only leaves the
    // offline login on the old one, and the user must hear that.
    if (!CDataAccess().UpdateUser(name, next, state.LoginMode.load()))
        return PasswordChange::kNotStoredLocally;
    return PasswordChange::kOk;
}

const char* PasswordChangeMessage(PasswordChange result) {
    switch (result) {
        case PasswordChange::kOk:
            return msg::kPasswordChanged;
        case PasswordChange::kNotStoredLocally:
            return msg::kPasswordChangedNotStored;
        default:
            return msg::kPasswordChangeFailed;
    }
}

}  // namespace kavo
