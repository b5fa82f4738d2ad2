#include "dialogs/account_dlg.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QPainter>

#include "codecs/gbk_text.h"
#include "dialogs/field_limits.h"
#include "dialogs/message_box.h"
#include "skin/skin_edit.h"
#include "skin/skin_pane.h"
#include "store/app_state.h"
#include "store/data_access.h"

namespace {
QString FieldQString(std::string_view gbk) { return QString::fromStdString(kavo::GbkToUtf8(gbk)); }
}  // namespace

CZPAccountDlg::CZPAccountDlg(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground, true);
    QGridLayout* grid = NewPaneForm(this, 16, 14);
    auto line = [&](const char* label, int row, const char* name) {
        auto* edit = new CZPSkinEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        LimitField(edit, 49);
        connect(edit, &QLineEdit::textEdited, this, [this] { m_modified = true; });
        AddFormRow(grid, row, QString::fromUtf8(label), edit);
        return edit;
    };
    m_name = line("账号名称", 0, "AccountName");
    m_game = line("游戏名称", 1, "GameName");
    m_id = line("账   号 ID", 2, "AccountID");
    m_password = line("账号密码", 3, "AccountPwd");
    m_remark = new CZPLimitedTextEdit(511, this);
    m_remark->setObjectName(QStringLiteral("Remark"));
    connect(m_remark, &CZPLimitedTextEdit::userEdited, this, [this] { m_modified = true; });
    AddFormRow(grid, 4, QStringLiteral("账号备注"), m_remark, true);
    auto* save = new CZPSkinButton(QStringLiteral("保存"), kCodeSave, this);
    save->SetKind(CZPSkinButton::EKind::kPrimary);
    save->setFixedSize(69, 27);
    grid->addWidget(save, 5, 1, Qt::AlignRight);
}

kavo::CAccountData CZPAccountDlg::GetRecord() const {
    kavo::CAccountData a;
    kavo::SetFieldUtf8(a.AccountName, m_name->text().toStdString());
    kavo::SetFieldUtf8(a.GameName, m_game->text().toStdString());
    kavo::SetFieldUtf8(a.AccountID, m_id->text().toStdString());
    kavo::SetFieldUtf8(a.AccountPwd, m_password->text().toStdString());
    kavo::SetFieldUtf8(a.Remark, m_remark->toPlainText().toStdString());
    return a;
}

void CZPAccountDlg::SetRecord(const kavo::CAccountData& account) {
    m_name->setText(FieldQString(kavo::FieldText(account.AccountName)));
    m_game->setText(FieldQString(kavo::FieldText(account.GameName)));
    m_id->setText(FieldQString(kavo::FieldText(account.AccountID)));
    m_password->setText(FieldQString(kavo::FieldText(account.AccountPwd)));
    m_remark->setPlainText(FieldQString(kavo::FieldText(account.Remark)));
    for (QLineEdit* e : {m_name, m_game, m_id, m_password}) e->setCursorPosition(0);
}

void CZPAccountDlg::SaveCommand() {
    if (!m_newMode) {
        emit saveRequested();
        return;
    }
    const kavo::CAccountData a = GetRecord();
    // A nameless account could never be selected, changed or deleted again.
    if (kavo::FieldText(a.AccountName).empty()) {
        ZPMessageBox(window(), QStringLiteral("请输入账号名称!"), kMsgIconError, kMsgOk);
        return;
    }
    if (kavo::CDataAccess().AccountNameExists(kavo::FieldText(a.AccountName))) {
        ZPMessageBox(window(), QStringLiteral("该账号名称已存在!"), kMsgIconError, kMsgOk);
        return;
    }
    emit finished(true);
}

void CZPAccountDlg::CloseCommand() {
    if (!m_newMode) return;
    if (m_modified) {
        if (ZPMessageBox(window(), QStringLiteral("账号信息已修改，是否保存？"), kMsgIconQuestion,
                         kMsgYesNo) == kIdYes) {
            SaveCommand();
        } else {
            emit finished(false);
        }
        return;
    }
    emit finished(false);
}

void CZPAccountDlg::OnSkinButton(int code) {
    if (code == kCodeSave) SaveCommand();
}

void CZPAccountDlg::keyPressEvent(QKeyEvent* event) {
    if (!SwallowEnterAndEscape(event)) QWidget::keyPressEvent(event);
}

void CZPAccountDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintPaneHeader(p, this, QStringLiteral("游戏账号"));
}
