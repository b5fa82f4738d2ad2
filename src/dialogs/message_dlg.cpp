#include "dialogs/message_dlg.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>

#include "codecs/gbk_text.h"
#include "skin/skin_edit.h"
#include "skin/skin_label.h"
#include "skin/skin_theme.h"

namespace {
constexpr int kHeaderHeight = 40;
}

CZPMessageDlg::CZPMessageDlg(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground, true);
    auto* grid = new QGridLayout(this);
    // The fields reach to 10 pixels before the right and bottom edges as the view grows.
    grid->setContentsMargins(16, kHeaderHeight + 14, 10, 10);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    grid->setColumnStretch(1, 1);
    auto line = [&](const char* label, int row) {
        grid->addWidget(new CZPSkinLabel(QString::fromUtf8(label), this), row, 0);
        auto* edit = new CZPSkinEdit(this);
        edit->setReadOnly(true);
        grid->addWidget(edit, row, 1);
        return edit;
    };
    m_sender = line("发  送  者", 0);
    m_phone = line("发送手机", 1);
    m_time = line("发送时间", 2);
    grid->addWidget(new CZPSkinLabel(QStringLiteral("短信内容"), this), 3, 0,
                    Qt::AlignTop | Qt::AlignLeft);
    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    grid->addWidget(m_text, 3, 1);
    grid->setRowStretch(3, 1);
}

void CZPMessageDlg::Fill(const kavo::CSmsData& sms) {
    m_sender->setText(QString::fromStdString(kavo::FieldUtf8(sms.ContactName)));
    m_phone->setText(QString::fromStdString(kavo::FieldUtf8(sms.PhoneNumber)));
    m_time->setText(QString::fromStdString(kavo::FieldUtf8(sms.SmsTime)));
    m_text->setPlainText(QString::fromStdString(kavo::FieldUtf8(sms.SmsText)));
}

void CZPMessageDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void CZPMessageDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const QRect header(0, 0, width(), kHeaderHeight);
    QLinearGradient g(header.topLeft(), header.bottomLeft());
    g.setColorAt(0, CSkinTheme::Color(ESkinColor::kTitleTop));
    g.setColorAt(1, CSkinTheme::Color(ESkinColor::kTitleBottom));
    p.fillRect(header, g);
    p.setPen(CSkinTheme::Color(ESkinColor::kTitleText));
    p.setFont(CSkinTheme::UiFont(14, true));
    p.drawText(header.adjusted(16, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("短信"));
    p.setPen(CSkinTheme::Color(ESkinColor::kControlBorder));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
