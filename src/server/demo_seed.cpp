#include "server/demo_seed.h"

#include <ctime>

#include "codecs/gbk_text.h"
#include "codecs/md5_checksum.h"
#include "net/field_codec.h"

namespace kavo {
namespace {

std::string TimeAt(std::int64_t when) {
    std::time_t t = static_cast<std::time_t>(when);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof(buf), "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

StoredContact DemoContact(const char* name, const char* mobile, const char* company,
                          const char* group) {
    CRelData c;
    SetFieldUtf8(c.RelName, name);
    SetFieldUtf8(c.MobilePhone1, mobile);
    SetFieldUtf8(c.CompanyAddr, company);
    SetFieldUtf8(c.GroupName, group);
    std::uint8_t packed[sizeof(CRelData) + 2 * kRelFieldCount];
    std::size_t n = wire::PackContact(c, packed, sizeof(packed));
    return {std::string(FieldText(c.RelName)), std::string(FieldText(c.MobilePhone1)),
            std::string(reinterpret_cast<const char*>(packed), n)};
}

}  // namespace

bool AddNoticeText(IServerStore& db, const std::string& utf8) {
    CMsgData m;
    SetFieldUtf8(m.MsgText, utf8);
    return db.AddNotice(m);
}

bool SeedDemo(IServerStore& db, std::int64_t now, std::string* error) {
    std::string digest =
        CMD5Checksum::GetMD5(kDemoPassword, std::string_view(kDemoPassword).size());
    ServerUser user;
    if (db.FindUser(kDemoUser, &user)) {
        db.SetPasswordDigest(user.id, digest);
        db.ClearLoginFailures(user.id);
        return true;
    }
    std::int64_t id = 0;
    if (db.RegisterUser(kDemoUser, digest, "13800000000", now - 30 * 86400, &id) != 1) {
        if (error) *error = "cannot create the demo user: " + db.LastError();
        return false;
    }

    MemberInfo member;
    member.feeType = Utf8ToGbk("标准会员");
    member.expiry = TimeAt(now + 365LL * 86400);
    member.balance = 100;
    db.SetMember(id, member);

    db.StoreContacts(id,
                     {DemoContact("张三", "13912345678", "北京市海淀区中关村大街1号", "同事"),
                      DemoContact("李四", "13698765432", "上海市浦东新区世纪大道100号", "朋友"),
                      DemoContact("王五", "", "广州市天河区体育西路", "")},
                     true);

    struct {
        const char* name;
        const char* phone;
        const char* text;
    } const sms[] = {
        {"张三", "13912345678", "明天上午十点开会，别忘了带资料。"},
        {"李四", "13698765432", "周末一起去爬山吗？"},
        {"", "10086", "您本月的话费账单已生成，请及时查看。"},
        {"王五", "13511112222", "收到，谢谢！"},
        {"张三", "13912345678", "资料已发到你的邮箱。"},
    };
    int i = 0;
    for (const auto& s : sms) {
        CSmsData m;
        SetFieldUtf8(m.ContactName, s.name);
        SetFieldUtf8(m.PhoneNumber, s.phone);
        SetField(m.SmsTime, TimeAt(now - 3600 * (5 - i++)));
        SetFieldUtf8(m.SmsText, s.text);
        db.AddSms(id, m, nullptr);
    }

    struct {
        const char* name;
        const char* game;
        const char* accountId;
        const char* pwd;
        const char* remark;
    } const accounts[] = {
        {"主号", "梦幻西游", "hero2008", "secret1", "常用账号"},
        {"小号", "魔兽世界", "alt_01", "secret2", ""},
        {"仓库", "征途", "store_99", "secret3", "放装备"},
    };
    for (const auto& a : accounts) {
        CAccountData d;
        SetFieldUtf8(d.AccountName, a.name);
        SetFieldUtf8(d.GameName, a.game);
        SetFieldUtf8(d.AccountID, a.accountId);
        SetFieldUtf8(d.AccountPwd, a.pwd);
        SetFieldUtf8(d.Remark, a.remark);
        db.PutAccount(id, d);
    }

    db.AddHistory(id, TimeAt(now - 30 * 86400), Utf8ToGbk("注册"));
    db.AddHistory(id, TimeAt(now - 2 * 86400), Utf8ToGbk("登录"));
    db.AddHistory(id, TimeAt(now - 2 * 86400 + 60), Utf8ToGbk("储存通讯录，共3条"));
    db.AddHistory(id, TimeAt(now - 86400), Utf8ToGbk("添加游戏账号：仓库"));
    db.TouchKind(id, DataKind::Contacts, TimeAt(now - 2 * 86400 + 60));
    db.TouchKind(id, DataKind::Sms, TimeAt(now - 3600));
    db.TouchKind(id, DataKind::Accounts, TimeAt(now - 86400));

    if (db.NoticeCount() == 0) {
        AddNoticeText(db, "欢迎使用手机管家服务！");
        AddNoticeText(db, "本周六凌晨2点至4点系统维护。");
        AddNoticeText(db, "充值满100元赠送一个月会员。");
    }
    return true;
}

}  // namespace kavo
