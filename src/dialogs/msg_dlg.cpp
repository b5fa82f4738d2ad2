#include "dialogs/msg_dlg.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "dialogs/message_box.h"
#include "skin/skin_theme.h"

namespace {

constexpr int kIconSize = 40;
constexpr int kIconTop = 44;
constexpr int kTextTop = 96;
constexpr int kTextHeight = 22;
constexpr int kFooterTop = 138;  // the band behind the button row

QString IconPicture(int icon) {
    switch (icon) {
        case kMsgIconSuccess:
            return QStringLiteral("msg_success");
        case kMsgIconQuestion:
            return QStringLiteral("msg_question");
        case kMsgIconNotice:
            return QStringLiteral("msg_notice");
        case kMsgIconError:
            return QStringLiteral("msg_error");
        default:
            return {};
    }
}

QFont TextFont() { return CSkinTheme::UiFont(13); }

}  // namespace

CZPMsgDlg::CZPMsgDlg(const QString& text, int icon, int buttons, QWidget* owner)
    : CZPSkinDialog(owner), m_originalText(text), m_text(text), m_icon(icon), m_buttonSet(buttons) {
    setModal(true);
    SetMinimiseBoxVisible(false);
    // The close box answers like the Cancel button, in every button set.
    SetCaptionCodes(kDefaultMinimiseCode, kIdCancel);

    const QString ok = QStringLiteral("确定"), cancel = QStringLiteral("取消");
    const QString yes = QStringLiteral("是"), no = QStringLiteral("否");
    const QString del = QStringLiteral("删除"), permanent = QStringLiteral("永久删除");
    switch (buttons) {
        case kMsgOkCancel:
            AddButton(ok, QStringLiteral("OK"), kIdOk);
            AddButton(cancel, QStringLiteral("Cancel"), kIdCancel);
            break;
        case kMsgYes:
            AddButton(yes, QStringLiteral("Yes"), kIdYes);
            break;
        case kMsgYesNo:
            AddButton(yes, QStringLiteral("Yes"), kIdYes);
            AddButton(no, QStringLiteral("No"), kIdNo);
            break;
        case kMsgYesNoCancel:
            AddButton(yes, QStringLiteral("Yes"), kIdYes);
            AddButton(no, QStringLiteral("No"), kIdNo);
            AddButton(cancel, QStringLiteral("Cancel"), kIdCancel);
            break;
        case kMsgDeleteChoice:
            AddButton(del, QStringLiteral("Delete"), kIdYes);
            AddButton(permanent, QStringLiteral("Permanent"), kCodeDeleteForever);
            AddButton(cancel, QStringLiteral("Cancel"), kIdCancel);
            break;
        case kMsgDeleteCancel:
            AddButton(del, QStringLiteral("Delete"), kIdYes);
            AddButton(cancel, QStringLiteral("Cancel"), kIdCancel);
            break;
        default:  // set 0, and any set the box does not know: a box must always be closable
            m_buttonSet = kMsgOk;
            AddButton(ok, QStringLiteral("OK"), kIdOk);
            break;
    }

    // Enter presses the first button, except where that would delete: there it cancels.
    CZPSkinButton* preferred = m_buttons.first();
    if (m_buttonSet == kMsgDeleteChoice || m_buttonSet == kMsgDeleteCancel) {
        preferred = m_buttons.last();
    }
    preferred->setDefault(true);
    preferred->setFocus();

    m_timer.setInterval(kCountdownIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &CZPMsgDlg::CountdownTick);

    LayOut();
}

void CZPMsgDlg::AddButton(const QString& caption, const QString& subtitle, int code) {
    auto* button = new CZPSkinButton(caption, code, this);
    button->SetSubtitle(subtitle);
    if (m_buttons.isEmpty()) button->SetKind(CZPSkinButton::EKind::kPrimary);
    m_buttons.append(button);
}

void CZPMsgDlg::LayOut() {
    // The text stays one line, never wrapped: a text wider than the box widens the box rather
    // than being cut off, up to the width of the screen.
    const QFontMetrics metrics(TextFont());
    int wanted = qMax(kMinWidth, metrics.horizontalAdvance(m_originalText) + 2 * kTextMargin);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        wanted = qMin(wanted, qMax(kMinWidth, screen->availableGeometry().width() - 40));
    }
    setFixedSize(wanted, kHeight);

    const int count = int(m_buttons.size());
    const int rowWidth = count * kButtonWidth + (count - 1) * kButtonGap;
    int x = (width() - rowWidth + 1) / 2;
    for (CZPSkinButton* button : m_buttons) {
        button->setGeometry(x, kButtonTop, kButtonWidth, kButtonHeight);
        x += kButtonWidth + kButtonGap;
    }
}

QRect CZPMsgDlg::TextRect() const {
    return QRect(kTextMargin / 2, kTextTop, width() - kTextMargin, kTextHeight);
}

void CZPMsgDlg::PaintBody(QPainter& painter, const QRect& body) {
    CZPSkinDialog::PaintBody(painter, body);
    const QRect footer(body.left(), kFooterTop, body.width(), body.bottom() - kFooterTop + 1);
    painter.fillRect(footer, QColor(0xe9, 0xf0, 0xf8));
    painter.fillRect(QRect(footer.left(), footer.top(), footer.width(), 1),
                     QColor(0xd3, 0xdf, 0xec));
    const QString picture = IconPicture(m_icon);
    if (!picture.isEmpty()) {
        CSkinTheme::Paint(
            painter, QRectF((width() - kIconSize) / 2.0, kIconTop, kIconSize, kIconSize), picture);
    }
    painter.setFont(TextFont());
    painter.setPen(CSkinTheme::Color(ESkinColor::kText));
    const QRect textRect = TextRect();
    painter.drawText(
        textRect, Qt::AlignCenter | Qt::TextSingleLine,
        QFontMetrics(TextFont()).elidedText(m_text, Qt::ElideMiddle, textRect.width()));
}

void CZPMsgDlg::showEvent(QShowEvent* event) {
    CentreOverParent();
    CZPSkinDialog::showEvent(event);
}

void CZPMsgDlg::OnSkinButton(int code) {
    // Any press ends a running countdown first, so a second "delete permanently" starts it
    // afresh and Delete or Cancel answer at once.
    StopCountdown();
    if (code == kCodeDeleteForever) {
        StartCountdown();
        return;
    }
    if (code == kIdOk || code == kIdCancel || code == kIdYes || code == kIdNo) done(code);
}

void CZPMsgDlg::StartCountdown() {
    m_counter = kCountdownStart;
    m_timer.start();
    CountdownTick();
}

void CZPMsgDlg::StopCountdown() { m_timer.stop(); }

void CZPMsgDlg::CountdownTick() {
    if (m_counter <= 0) return;
    --m_counter;
    if (m_counter > 0) {
        m_text = QStringLiteral("请选择，%1秒后将自动永久删除!").arg(m_counter);
        repaint();
        return;
    }
    StopCountdown();
    done(kIdNo);
}

void CZPMsgDlg::done(int result) {
    StopCountdown();
    CZPSkinDialog::done(result);
}

void CZPMsgDlg::reject() { done(kIdCancel); }
