#include "skin/skin_button.h"

#include <QPointer>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "skin/skin_theme.h"

CZPSkinButton::CZPSkinButton(QWidget* parent) : CZPSkinButton(QString(), kNoCode, parent) {}

CZPSkinButton::CZPSkinButton(const QString& text, int code, QWidget* parent)
    : QPushButton(text, parent), m_code(code) {
    setCursor(Qt::PointingHandCursor);
    connect(this, &QPushButton::clicked, this, &CZPSkinButton::ReportClick);
}

void CZPSkinButton::SetKind(EKind kind) {
    m_kind = kind;
    const char* name = "";
    switch (kind) {
        case EKind::kNormal:
            name = "";
            break;
        case EKind::kPrimary:
            name = "primary";
            break;
        case EKind::kTool:
            name = "tool";
            break;
        case EKind::kCaption:
            name = "caption";
            break;
        case EKind::kClose:
            name = "close";
            break;
    }
    if (kind == EKind::kCaption || kind == EKind::kClose) setFocusPolicy(Qt::NoFocus);
    CSkinTheme::SetSkinKind(this, name);
}

void CZPSkinButton::SetSubtitle(const QString& subtitle) {
    m_subtitle = subtitle;
    updateGeometry();
    update();
}

void CZPSkinButton::SetPicture(const QString& name, const QSize& size) {
    setIcon(CSkinTheme::Icon(name));
    setIconSize(size);
}

QSize CZPSkinButton::sizeHint() const {
    QSize hint = QPushButton::sizeHint();
    if (!m_subtitle.isEmpty()) hint.setHeight(qMax(hint.height(), 27));
    return hint;
}

void CZPSkinButton::paintEvent(QPaintEvent* event) {
    if (m_subtitle.isEmpty()) {
        QPushButton::paintEvent(event);
        return;
    }
    // Two lines: the caption and, smaller, its subtitle. The face itself comes from the
    // style sheet; only the text is laid out here.
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    const QColor color = option.palette.color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                              QPalette::ButtonText);
    const QRect area = rect().adjusted(2, 1, -2, -1);
    const int shift = isDown() ? 1 : 0;
    const int captionHeight = area.height() * 3 / 5;

    painter.setPen(color);
    QFont captionFont = font();
    captionFont.setPixelSize(12);
    painter.setFont(captionFont);
    painter.drawText(
        QRect(area.left() + shift, area.top() + shift + 1, area.width(), captionHeight),
        Qt::AlignHCenter | Qt::AlignBottom, text());

    QFont subFont = font();
    subFont.setPixelSize(8);
    painter.setFont(subFont);
    QColor subColor = color;
    subColor.setAlpha(170);
    painter.setPen(subColor);
    painter.drawText(QRect(area.left() + shift, area.top() + captionHeight + shift, area.width(),
                           area.height() - captionHeight),
                     Qt::AlignHCenter | Qt::AlignTop, m_subtitle);
}

void CZPSkinButton::ReportClick() {
    if (m_code == kNoCode) return;
    const int code = m_code;
    // The sink may close or delete the window; this button must not be touched afterwards.
    QPointer<CZPSkinButton> self(this);
    emit codeClicked(code);
    if (!self) return;
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* sink = dynamic_cast<CSkinButtonSink*>(w)) {
            sink->OnSkinButton(code);
            return;
        }
    }
}
