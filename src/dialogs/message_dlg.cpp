#include "dialogs/message_dlg.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>

#include "codecs/gbk_text.h"
#include "skin/skin_edit.h"
#include "skin/skin_pane.h"

CZPMessageDlg::CZPMessageDlg(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground, true);
    // The fields reach to 10 pixels before the right and bottom edges as the view grows.
    QGridLayout* grid = NewPaneForm(this, 10, 10);
    auto line = [&](const char* label, int row) {
        auto* edit = new CZPSkinEdit(this);
        edit->setReadOnly(true);
        AddFormRow(grid, row, QString::fromUtf8(label), edit);
        return edit;
    };
    m_sender = line("发  送  者", 0);
    m_phone = line("发送手机", 1);
    m_time = line("发送时间", 2);
    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    AddFormRow(grid, 3, QStringLiteral("短信内容"), m_text, true);
}

void CZPMessageDlg::Fill(const kavo::CSmsData& sms) {
    m_sender->setText(QString::fromStdString(kavo::FieldUtf8(sms.ContactName)));
    m_phone->setText(QString::fromStdString(kavo::FieldUtf8(sms.PhoneNumber)));
    m_time->setText(QString::fromStdString(kavo::FieldUtf8(sms.SmsTime)));
    m_text->setPlainText(QString::fromStdString(kavo::FieldUtf8(sms.SmsText)));
}

void CZPMessageDlg::keyPressEvent(QKeyEvent* event) {
    if (!SwallowEnterAndEscape(event)) QWidget::keyPressEvent(event);
}

void CZPMessageDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintPaneHeader(p, this, QStringLiteral("短信"));
}
