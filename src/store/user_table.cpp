// The users table: everyone who has logged in on this machine.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "codecs/gbk_text.h"
#include "store/data_access.h"
#include "store/password_cipher.h"

namespace kavo {
namespace {

constexpr const char* kSelectUser = "Select 1 from KAVO_USER where userName=?";
// An empty e-mail keeps the stored one: the end of every run saves the user without one,
// and that must not wipe the address given at registration.
constexpr const char* kUpdateUser =
    "Update KAVO_USER set userpwd=? ,UserEmail=coalesce(nullif(?,''),UserEmail),lasttime=? "
    ",LoginState=? where userName=?";
constexpr const char* kInsertUser =
    "Insert into KAVO_USER(username,userpwd,UserEmail,lasttime,LoginState) values(?,?,?,?,?)";

std::string NowText() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

// The password field holds up to its full 20 bytes; a shorter password is NUL-terminated.
void SetPasswordField(char (&field)[20], std::string_view password) {
    std::memset(field, 0, sizeof field);
    std::size_t nul = password.find('\0');
    if (nul != std::string_view::npos) password = password.substr(0, nul);
    std::string_view kept = GbkPrefix(password, sizeof field);
    if (!kept.empty()) std::memcpy(field, kept.data(), kept.size());
}

std::string ColumnGbk(CAdoRecord& rs, std::string_view column) {
    return Utf8ToGbk(CAdoRecord::VariantToText(rs.GetCollect(column)));
}

bool WriteUser(CAdoRecord& rs, const CUserData& user, bool mayInsert) {
    std::string_view name = FieldText(user.UserName);
    std::string cipher = EncipherPassword(FieldText(user.UserPwd));
    std::string time = NowText();
    if (!rs.Execute(kSelectUser, {CSqlValue::Gbk(name)})) return false;
    bool exists = !rs.IsEOF();
    if (!exists && !mayInsert) return false;
    std::string_view email = FieldText(user.UserEmail);
    if (exists)
        return rs.Execute(kUpdateUser,
                          {CSqlValue::Gbk(cipher), CSqlValue::Gbk(email), CSqlValue::Utf8(time),
                           CSqlValue(user.LoginState), CSqlValue::Gbk(name)});
    return rs.Execute(kInsertUser,
                      {CSqlValue::Gbk(name), CSqlValue::Gbk(cipher), CSqlValue::Gbk(email),
                       CSqlValue::Utf8(time), CSqlValue(user.LoginState)});
}

CUserData MakeUser(std::string_view name, std::string_view password, std::string_view email,
                   int loginState) {
    CUserData user;  // zero-filled: an absent text stays empty
    if (!name.empty()) SetField(user.UserName, name);
    SetPasswordField(user.UserPwd, password);
    if (!email.empty()) SetField(user.UserEmail, email);
    user.LoginState = loginState;
    return user;
}

}  // namespace

bool ParseLocalDateTime(std::string_view text, std::int64_t& seconds) {
    std::string s(text);
    int y, mo, d, h = 0, mi = 0, sec = 0, used = 0;
    int n = std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%d%n", &y, &mo, &d, &h, &mi, &sec, &used);
    if (n == 3) {
        used = 0;
        std::sscanf(s.c_str(), "%*d-%*d-%*d%n", &used);
    } else if (n != 6) {
        return false;
    }
    if (static_cast<std::size_t>(used) != s.size()) return false;
    if (y < 100) y += y < 30 ? 2000 : 1900;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 ||
        sec > 60)
        return false;
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = sec;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return false;
    seconds = static_cast<std::int64_t>(t);
    return true;
}

void LoadRecord(CAdoRecord& rs, CUserData& user) {
    rs.ReadField(rs.ColumnIndex("UserName"), user.UserName, sizeof user.UserName);

    std::memset(user.UserPwd, 0, sizeof user.UserPwd);
    std::string stored = ColumnGbk(rs, "UserPwd");
    if (!stored.empty()) SetPasswordField(user.UserPwd, DecipherPassword(stored));

    rs.ReadField(rs.ColumnIndex("UserEmail"), user.UserEmail, sizeof user.UserEmail);

    // A date-time value is parsed from its full text, never from the two-digit-year form.
    CVariant lastTime = rs.GetCollect("LastTime");
    std::string timeText = lastTime.type == VarType::Date ? std::string(lastTime.textVal)
                                                          : CAdoRecord::VariantToText(lastTime);
    if (!timeText.empty()) ParseLocalDateTime(timeText, user.LastTime);

    CVariant state = rs.GetCollect("loginstate");
    if (state.type == VarType::I4 || state.type == VarType::I8)
        user.LoginState = static_cast<std::int32_t>(state.intVal);
    else
        user.LoginState = static_cast<std::int32_t>(
            std::strtol(CAdoRecord::VariantToText(state).c_str(), nullptr, 10));
}

bool SaveRecord(CAdoRecord& rs, const CUserData& user) { return WriteUser(rs, user, true); }

bool UpdateRecord(CAdoRecord& rs, const CUserData& user) { return WriteUser(rs, user, false); }

void CDataAccess::LoadUserList(std::vector<CUserData>& list) {
    std::lock_guard lock(StoreMutex());
    CAdoRecord rs;
    // A row from before the LoginState column has no value there: nobody is logged in.
    if (!rs.Execute("SELECT * FROM KAVO_USER where (loginstate <1 or loginstate is NULL) order by "
                    "lasttime desc"))
        return;
    while (!rs.IsEOF()) {
        CUserData user;
        LoadRecord(rs, user);
        list.push_back(user);
        if (!rs.MoveNext()) break;
    }
}

bool CDataAccess::UserExists(std::string_view userName) {
    std::lock_guard lock(StoreMutex());
    CAdoRecord rs;
    return rs.Execute("Select 1 from KAVO_USER where username=?", {CSqlValue::Gbk(userName)}) &&
           !rs.IsEOF();
}

std::string CDataAccess::GetUserPassword(std::string_view userName) {
    std::lock_guard lock(StoreMutex());
    CAdoRecord rs;
    if (!rs.Execute("Select * from KAVO_USER where userName=?", {CSqlValue::Gbk(userName)}) ||
        rs.IsEOF())
        return {};
    CUserData user;
    LoadRecord(rs, user);
    return std::string(FieldText(user.UserPwd));
}

bool CDataAccess::SaveUser(std::string_view userName, std::string_view password,
                           std::string_view email, int loginState) {
    std::lock_guard lock(StoreMutex());
    CAdoRecord rs;
    return SaveRecord(rs, MakeUser(userName, password, email, loginState));
}

bool CDataAccess::UpdateUser(std::string_view userName, std::string_view password, int loginState) {
    std::lock_guard lock(StoreMutex());
    CAdoRecord rs;
    return UpdateRecord(rs, MakeUser(userName, password, {}, loginState));
}

bool CDataAccess::SetLoginState(std::string_view userName, int loginState) {
    std::lock_guard lock(StoreMutex());
    CAdoRecord rs;
    return rs.Execute("Update KAVO_USER set loginstate=? where UserName=?",
                      {CSqlValue(loginState), CSqlValue::Gbk(userName)});
}

bool CDataAccess::IsUserLoggedIn(std::string_view userName) {
    std::lock_guard lock(StoreMutex());
    CAdoRecord rs;
    if (!rs.Execute("Select count(*) from KAVO_USER where username=? and LoginState > 0",
                    {CSqlValue::Gbk(userName)}) ||
        rs.IsEOF())
        return false;
    return rs.GetCollect(0).intVal > 0;
}

}  // namespace kavo
