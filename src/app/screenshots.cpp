#include "app/screenshots.h"

#include <QDir>
#include <QGridLayout>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidgetItem>
#include <QVBoxLayout>
#include <cstdio>

#include "dialogs/loading_dlg.h"
#include "dialogs/login_dlg.h"
#include "dialogs/message_box.h"
#include "dialogs/msg_dlg.h"
#include "dialogs/registe_dlg.h"
#include "net/result_codes.h"
#include "net/wire.h"
#include "skin/busy_indicator.h"
#include "skin/skin_button.h"
#include "skin/skin_check_box.h"
#include "skin/skin_combo_box.h"
#include "skin/skin_dialog.h"
#include "skin/skin_edit.h"
#include "skin/skin_label.h"
#include "skin/skin_list_ctrl.h"
#include "skin/skin_menu.h"
#include "skin/skin_tab_bar.h"
#include "skin/skin_theme.h"
#include "workflows/messages.h"

namespace {

bool Save(QWidget& widget, const QDir& dir, const QString& name) {
    widget.ensurePolished();
    widget.adjustSize();
    const QString path = dir.filePath(name + QStringLiteral(".png"));
    const bool ok = widget.grab().save(path, "PNG");
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

bool SaveMessageBox(const QDir& dir, const QString& name, const QString& text, int icon,
                    int buttons, bool countdown = false) {
    CZPMsgDlg box(text, icon, buttons);
    if (countdown) box.OnSkinButton(CZPMsgDlg::kCodeDeleteForever);
    box.ensurePolished();
    const QString path = dir.filePath(name + QStringLiteral(".png"));
    const bool ok = box.grab().save(path, "PNG");
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// A window built from every skinned control, to judge the look as a whole.
bool SaveSkinSample(const QDir& dir) {
    CZPSkinDialog window;
    window.resize(460, 330);
    auto* grid = new QGridLayout(&window);
    grid->setContentsMargins(15, 12, 15, 13);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);

    grid->addWidget(new CZPSkinLabel(QStringLiteral("用户名"), &window), 0, 0);
    auto* combo = new CZPSkinComboBox(&window, true);
    combo->addItems({QStringLiteral("张三"), QStringLiteral("lisi")});
    grid->addWidget(combo, 0, 1, 1, 2);

    grid->addWidget(new CZPSkinLabel(QStringLiteral("密码"), &window), 1, 0);
    auto* password = new CZPSkinEdit(&window);
    password->SetMasked(true);
    password->setText(QStringLiteral("secret"));
    grid->addWidget(password, 1, 1, 1, 2);

    auto* remember = new CZPSkinCheckBox(QStringLiteral("记住密码"), &window);
    remember->setChecked(true);
    grid->addWidget(remember, 2, 1);
    grid->addWidget(new CZPSkinCheckBox(QStringLiteral("自动登录"), &window), 2, 2);

    auto* search = new CZPSkinEdit(&window);
    search->SetCueText(QStringLiteral("---请输入搜索内容---"));
    grid->addWidget(search, 3, 0, 1, 2);
    auto* busy = new CZPBusyIndicator(&window);
    busy->setFixedSize(28, 28);
    grid->addWidget(busy, 3, 2, Qt::AlignRight);

    // The tabs sit right on the list, as the group tabs of the main window do.
    auto* listArea = new QVBoxLayout;
    listArea->setSpacing(0);
    auto* tabs = new CZPSkinTabBar(&window);
    tabs->addTab(QStringLiteral("全部"));
    tabs->addTab(QStringLiteral("同事"));
    tabs->addTab(QStringLiteral("家人"));
    listArea->addWidget(tabs);

    auto* list = new CZPSkinListCtrl(&window);
    list->SetColumns({QStringLiteral("姓名"), QStringLiteral("电话"), QStringLiteral("手机")},
                     {90, 110});
    list->AddRow(
        {QStringLiteral("张三"), QStringLiteral("010-12345678"), QStringLiteral("13800000001")});
    list->AddRow({QStringLiteral("李四"), QString(), QStringLiteral("13900000002")});
    list->AddRow({QStringLiteral("Wang Wu"), QStringLiteral("021-5550000"), QString()});
    list->setCurrentItem(list->topLevelItem(1));
    list->setMinimumHeight(90);
    listArea->addWidget(list);
    grid->addLayout(listArea, 4, 0, 1, 3);

    auto* login = new CZPSkinButton(QStringLiteral("登录"), 0, &window);
    login->SetKind(CZPSkinButton::EKind::kPrimary);
    grid->addWidget(login, 5, 1);
    grid->addWidget(new CZPSkinButton(QStringLiteral("注册"), 1, &window), 5, 2);

    window.ensurePolished();
    const QString path = dir.filePath(QStringLiteral("skin_sample.png"));
    const bool ok = window.grab().save(path, "PNG");
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));

    CZPSkinMenu menu;
    menu.addAction(QStringLiteral("储存通讯录"));
    menu.addAction(QStringLiteral("还原通讯录"));
    menu.addSeparator();
    menu.addAction(QStringLiteral("注册"));
    menu.addAction(QStringLiteral("退出"));
    menu.setActiveAction(menu.actions().at(1));
    return Save(menu, dir, QStringLiteral("skin_menu")) && ok;
}

// Every picture of the skin, at the size the windows use and at twice that, on the title
// bar colour and on white.
bool SaveSkinPictures(const QDir& dir) {
    const QStringList names = {
        QStringLiteral("app"),          QStringLiteral("tray"),       QStringLiteral("msg_success"),
        QStringLiteral("msg_question"), QStringLiteral("msg_notice"), QStringLiteral("msg_error"),
        QStringLiteral("minimise"),     QStringLiteral("maximise"),   QStringLiteral("restore"),
        QStringLiteral("close"),        QStringLiteral("check"),      QStringLiteral("arrow_down"),
        QStringLiteral("arrow_left"),   QStringLiteral("arrow_right")};
    const int cell = 72;
    QImage sheet(cell * int(names.size()), cell * 2, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(QRect(0, 0, sheet.width(), cell), CSkinTheme::Color(ESkinColor::kTitleBottom));
    for (int i = 0; i < names.size(); ++i) {
        for (int row = 0; row < 2; ++row) {
            const int small = 24;
            CSkinTheme::Paint(painter, QRectF(i * cell + 4, row * cell + 4, small, small),
                              names[i]);
            CSkinTheme::Paint(painter, QRectF(i * cell + 22, row * cell + 22, 2 * small, 2 * small),
                              names[i]);
        }
    }
    painter.end();
    const QString path = dir.filePath(QStringLiteral("skin_pictures.png"));
    const bool ok = sheet.save(path, "PNG");
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// The login window with two known users, the progress window, the registration window and
// the offline-login question.
bool SaveLoginWindows(const QDir& dir) {
    auto save = [&dir](QWidget& window, const QString& name) {
        window.ensurePolished();
        const QString path = dir.filePath(name + QStringLiteral(".png"));
        const bool ok = window.grab().save(path, "PNG");
        std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
        return ok;
    };
    CZPLoginDlg login;
    login.UserBox()->addItems({QStringLiteral("demo"), QStringLiteral("张伟")});
    login.UserBox()->setEditText(QStringLiteral("demo"));
    login.PasswordBox()->setText(QStringLiteral("demo123"));
    login.SavePasswordBox()->setChecked(true);
    bool ok = save(login, QStringLiteral("login"));

    CZPLoadingDlg progress;
    ok = save(progress, QStringLiteral("login_progress")) && ok;

    CZPRegisteDlg registration;
    registration.UserEdit()->setText(QStringLiteral("李娜"));
    registration.PasswordEdit()->setText(QStringLiteral("secret"));
    registration.ConfirmEdit()->setText(QStringLiteral("secret"));
    registration.ContactEdit()->setText(QStringLiteral("13812345678"));
    ok = save(registration, QStringLiteral("registration")) && ok;

    return SaveMessageBox(dir, QStringLiteral("msgbox_offline_login"),
                          QString::fromStdString(kavo::ResultMessage(kavo::wire::kResultTransport) +
                                                 kavo::msg::kAskOfflineLogin),
                          kMsgIconQuestion, kMsgYesNo) &&
           ok;
}

}  // namespace

int WriteScreenshots(const QString& dirPath) {
    QDir dir(dirPath);
    if (!dir.exists() && !QDir().mkpath(dirPath)) return 1;
    int failures = 0;
    auto count = [&failures](bool ok) { failures += ok ? 0 : 1; };
    count(SaveMessageBox(dir, QStringLiteral("msgbox_success"), QStringLiteral("储存通讯录完成!"),
                         kMsgIconSuccess, kMsgOk));
    count(SaveMessageBox(dir, QStringLiteral("msgbox_question"),
                         QStringLiteral("联系人信息已改变,是否保存?"), kMsgIconQuestion,
                         kMsgYesNo));
    count(SaveMessageBox(dir, QStringLiteral("msgbox_notice"),
                         QStringLiteral("搜索完毕，请在左边列表查看!"), kMsgIconNotice,
                         kMsgOkCancel));
    count(SaveMessageBox(dir, QStringLiteral("msgbox_error"),
                         QStringLiteral("当前用户名已在系统其它进程中被登录使用"), kMsgIconError,
                         kMsgOk));
    count(SaveMessageBox(dir, QStringLiteral("msgbox_delete_countdown"),
                         QStringLiteral("请选择......"), kMsgIconQuestion, kMsgDeleteChoice, true));
    count(SaveMessageBox(dir, QStringLiteral("msgbox_yes_no_cancel"),
                         QStringLiteral("是否下载联系人信息?"), kMsgIconQuestion, kMsgYesNoCancel));
    count(SaveSkinSample(dir));
    count(SaveSkinPictures(dir));
    count(SaveLoginWindows(dir));
    return failures;
}
