#include "skin/notice_line.h"

#include <QPainter>

#include "skin/skin_theme.h"

CZPNoticeLine::CZPNoticeLine(QWidget* parent)
    : CZPTickingWidget(kIntervalMs, parent), m_color(CSkinTheme::Color(ESkinColor::kText)) {}

void CZPNoticeLine::SetText(const QString& text) {
    m_text = text;
    m_offset = width();
    update();
}

void CZPNoticeLine::SetTextColor(const QColor& color) {
    m_color = color;
    update();
}

void CZPNoticeLine::Step() {
    --m_offset;
    if (m_offset + fontMetrics().horizontalAdvance(m_text) < 0) {
        // Gone on the left: start again on the right, with the next text if the window has one.
        m_offset = width();
        emit needNextText();
    }
    update();
}

QSize CZPNoticeLine::sizeHint() const { return {300, fontMetrics().height() + 4}; }

void CZPNoticeLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(m_color);
    painter.setFont(font());
    painter.drawText(QRect(m_offset, 0, fontMetrics().horizontalAdvance(m_text) + 1, height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_text);
}
