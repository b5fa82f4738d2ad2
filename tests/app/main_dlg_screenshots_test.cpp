// Pictures of the main window's three views, the new-contact window and the new-account
// window with Chinese demo data, for the documentation. Written only when
// KAVO_SCREENSHOT_DIR names a directory; otherwise the windows are still built and rendered.
#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QPixmap>

#include "app/main_dlg.h"
#include "codecs/gbk_text.h"
#include "dialogs/account_add_dlg.h"
#include "dialogs/account_dlg.h"
#include "dialogs/add_users_dlg.h"
#include "dialogs/base_info_dlg.h"
#include "dialogs/message_box.h"
#include "dialogs/name_card_dlg.h"
#include "session_fixture.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "workflows/session.h"

using namespace kavo;

namespace {

void Save(QWidget& widget, const QString& name) {
    const QPixmap picture = widget.grab();
    ASSERT_FALSE(picture.isNull());
    const QString dir = qEnvironmentVariable("KAVO_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    EXPECT_TRUE(picture.save(QDir(dir).filePath(name + QStringLiteral(".png")), "PNG"));
}

void DemoData() {
    auto& state = AppState();
    state.SetCurrentUser("zhangwei", "pw");
    state.LoginMode = 2;
    CDataAccess store;
    for (const char* g : {"家人", "同事", "同学", "客户"}) {
        store.AddGroup(Utf8ToGbk(g));
        state.GroupNames.push_back(Utf8ToGbk(g));
    }
    struct {
        const char *name, *mobile, *group, *company, *position, *birthday, *email;
    } people[] = {
        {"王芳", "13901234567", "家人", "", "", "19820315", "wangfang@example.com"},
        {"李强", "13812345678", "同事", "北京天元科技有限公司", "项目经理", "19790908",
         "liqiang@tianyuan.cn"},
        {"张伟", "13698765432", "同学", "上海浦江贸易公司", "销售总监", "19850101", ""},
        {"刘洋", "15001112222", "客户", "广州海运物流", "采购", "", "liuyang@haiyun.com"},
        {"陈静", "13566667777", "同事", "北京天元科技有限公司", "工程师", "19900620", ""},
        {"杨敏", "18612340000", "家人", "", "", "", ""},
        {"赵磊", "13400001111", "客户", "深圳南山电子", "总经理", "19751130", "zhaolei@nsdz.com"},
        {"Alice Chen", "13911119999", "同学", "Acme Trading Ltd.", "Manager", "", "alice@acme.com"},
        {"周杰", "13722223333", "", "", "", "", ""},
        {"吴秀英", "13844445555", "家人", "", "", "19600505", ""},
    };
    for (const auto& p : people) {
        CRelData r;
        SetFieldUtf8(r.RelName, p.name);
        SetField(r.MobilePhone1, p.mobile);
        SetFieldUtf8(r.GroupName, p.group);
        SetFieldUtf8(r.KeshNum, p.company);
        SetFieldUtf8(r.CorpPosition, p.position);
        SetField(r.Birthday, p.birthday);
        SetField(r.E_mail, p.email);
        SetFieldUtf8(r.HomeAddr, "北京市海淀区中关村大街27号");
        SetField(r.OfficePhone1, "010-62345678");
        SetField(r.QQ, "88886666");
        SetFieldUtf8(r.RelRemark, "周末联系，喜欢喝茶。");
        store.SaveContact(r);
    }
    const char* sms[][4] = {
        {"王芳", "13901234567", "2026-12-07 18:20:11", "晚上回家吃饭吗？我买了你爱吃的鱼。"},
        {"", "10086", "2026-12-07 09:00:02", "您本月话费账单已生成，请登录网上营业厅查询。"},
        {"李强", "13812345678", "2026-12-06 14:45:30", "下午三点的会议改到四点，在三楼会议室。"},
    };
    std::uint32_t id = 1;
    for (const auto& s : sms) {
        CSmsData d;
        d.SmsID = id++;
        SetFieldUtf8(d.ContactName, s[0]);
        SetField(d.PhoneNumber, s[1]);
        SetField(d.SmsTime, s[2]);
        SetFieldUtf8(d.SmsText, s[3]);
        state.SmsList.push_back(d);
    }
    const char* accounts[][4] = {{"梦幻西游主号", "梦幻西游", "zw_dream", "长期在线，周末打副本"},
                                 {"魔兽小号", "魔兽世界", "zw_wow2", ""}};
    for (const auto& a : accounts) {
        CAccountData d;
        SetFieldUtf8(d.AccountName, a[0]);
        SetFieldUtf8(d.GameName, a[1]);
        SetField(d.AccountID, a[2]);
        SetField(d.AccountPwd, "abc123");
        SetFieldUtf8(d.Remark, a[3]);
        state.AccountList.push_back(d);
    }
    CMsgData notice;
    SetFieldUtf8(notice.MsgText, "系统将于本周六凌晨两点维护，请提前储存通讯录。");
    state.NoticeList.push_back(notice);
    CHistoryData h;
    SetField(h.OperTime, "2026-12-07 18:30:00");
    state.HistoryEntries.push_back(h);
    state.ServerStats.Contacts.Count = 10;
    state.ServerStats.Sms.Count = 3;
    state.ServerStats.Accounts.Count = 2;
}

}  // namespace

class MainDlgScreenshots : public kavo::test::SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        CZPMessageScript::Reset();
        CZPMessageScript::SetHeadless(true);
        for (int i = 0; i < 3; ++i) ServerClient().SetServerHost(i, "");
        DemoData();
    }
    void TearDown() override {
        ServerClient().SetServerHost(0, "127.0.0.1");
        CZPMessageScript::Reset();
        SessionTest::TearDown();
    }
};

TEST_F(MainDlgScreenshots, RendersTheWindowsWithDemoData) {
    CZPMainDlg dlg;
    dlg.Open();
    dlg.show();
    dlg.SelectRowByUser(1);
    Save(dlg, QStringLiteral("main_contacts"));
    dlg.NameCard()->SelectPage(CZPNameCardDlg::kPageAdditional);
    Save(dlg, QStringLiteral("main_contacts_additional"));
    dlg.ShowView(CZPMainDlg::kViewSms);
    Save(dlg, QStringLiteral("main_sms"));
    dlg.ShowView(CZPMainDlg::kViewAccounts);
    Save(dlg, QStringLiteral("main_accounts"));
    dlg.hide();

    CZPAddUsersDlg add(1);
    add.show();
    Save(add, QStringLiteral("new_contact"));
    add.hide();

    CZPAccountAddDlg account;
    account.show();
    Save(account, QStringLiteral("new_account"));
    account.hide();
}
