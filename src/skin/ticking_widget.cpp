#include "skin/ticking_widget.h"

#include <QTimerEvent>

CZPTickingWidget::CZPTickingWidget(int intervalMs, QWidget* parent)
    : QWidget(parent), m_intervalMs(intervalMs) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void CZPTickingWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_timer.start(m_intervalMs, this);
}

void CZPTickingWidget::hideEvent(QHideEvent* event) {
    m_timer.stop();
    QWidget::hideEvent(event);
}

void CZPTickingWidget::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId()) {
        Tick();
        return;
    }
    QWidget::timerEvent(event);
}
