#include "skin/notice_line.h"

#include <QPainter>
#include <QTimerEvent>

#include "skin/skin_theme.h"

CZPNoticeLine::CZPNoticeLine(QWidget* parent)
    : QWidget(parent), m_color(CSkinTheme::Color(ESkinColor::kText)) {
    setAttribute(Qt::WA_TranslucentBackground);
}

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

void CZPNoticeLine::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_timer.start(kIntervalMs, this);
}

void CZPNoticeLine::hideEvent(QHideEvent* event) {
    m_timer.stop();
    QWidget::hideEvent(event);
}

void CZPNoticeLine::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId()) {
        Step();
        return;
    }
    QWidget::timerEvent(event);
}
