// Pictures of the login, progress and registration windows and of the offline-login
// question, for the documentation. Written only when KAVO_SCREENSHOT_DIR names a directory;
// otherwise the windows are still built and rendered.
#include <gtest/gtest.h>

#include <QDir>
#include <QPixmap>

#include "codecs/gbk_text.h"
#include "dialogs/loading_dlg.h"
#include "dialogs/login_dlg.h"
#include "dialogs/msg_dlg.h"
#include "dialogs/registe_dlg.h"
#include "login_test_support.h"
#include "net/result_codes.h"
#include "net/wire.h"
#include "skin/skin_check_box.h"
#include "skin/skin_combo_box.h"
#include "skin/skin_edit.h"
#include "store/data_access.h"
#include "workflows/messages.h"

namespace kavo::test {
namespace {

void Save(QWidget& widget, const QString& name) {
    widget.ensurePolished();
    const QPixmap picture = widget.grab();
    ASSERT_FALSE(picture.isNull());
    const QString dir = qEnvironmentVariable("KAVO_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    EXPECT_TRUE(picture.save(QDir(dir).filePath(name + QStringLiteral(".png")), "PNG"));
}

class LoginScreenshotTest : public WindowSessionTest {};

TEST_F(LoginScreenshotTest, LoginProgressRegistrationAndTheOfflineQuestion) {
    CDataAccess store;
    store.SaveUser("demo", "demo123", {}, 0);
    store.SaveUser(Utf8ToGbk("张伟"), "secret", {}, 0);
    CZPSettings::SetSavePassword(true);

    CZPLoginDlg login;
    login.FillUserList(false);
    EXPECT_EQ(login.UserBox()->count(), 2);
    EXPECT_FALSE(login.PasswordBox()->text().isEmpty());
    Save(login, QStringLiteral("login"));

    CZPLoadingDlg progress(nullptr, false);
    Save(progress, QStringLiteral("login_progress"));

    CZPRegisteDlg registration;
    registration.UserEdit()->setText(QStringLiteral("李娜"));
    registration.PasswordEdit()->setText(QStringLiteral("secret"));
    registration.ConfirmEdit()->setText(QStringLiteral("secret"));
    registration.ContactEdit()->setText(QStringLiteral("13812345678"));
    Save(registration, QStringLiteral("registration"));

    const QString offline = QString::fromStdString(ResultMessage(wire::kResultTransport)) +
                            QString::fromUtf8(msg::kAskOfflineLogin);
    CZPMsgDlg question(offline, kMsgIconQuestion, kMsgYesNo);
    Save(question, QStringLiteral("msgbox_offline_login"));
}

}  // namespace
}  // namespace kavo::test
