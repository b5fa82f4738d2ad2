#include "skin/busy_indicator.h"

#include <QPainter>
#include <QtMath>

#include "skin/skin_theme.h"

CZPBusyIndicator::CZPBusyIndicator(QWidget* parent) : CZPTickingWidget(kIntervalMs, parent) {}

void CZPBusyIndicator::Advance() {
    m_step = (m_step + 1) % kDots;
    update();
}

void CZPBusyIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    const qreal dot = side / 9.0;
    const qreal radius = side / 2.0 - dot;
    const QPointF centre(width() / 2.0, height() / 2.0);
    QColor colour = CSkinTheme::Color(ESkinColor::kAccent);
    for (int i = 0; i < kDots; ++i) {
        // The head is the brightest dot; the ones behind it fade out.
        const int age = (m_step - i + kDots) % kDots;
        colour.setAlphaF(1.0 - 0.8 * age / (kDots - 1));
        const qreal angle = 2 * M_PI * i / kDots - M_PI / 2;
        const QPointF at = centre + QPointF(radius * qCos(angle), radius * qSin(angle));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(at, dot * (age == 0 ? 1.15 : 1.0), dot * (age == 0 ? 1.15 : 1.0));
    }
}
