#pragma once

#include <QBasicTimer>
#include <QWidget>

// A transparent widget moved on by a timer that runs only while the widget is shown, so a
// hidden window costs no timer. Every tick calls Tick().
class CZPTickingWidget : public QWidget {
    Q_OBJECT

public:
    bool IsRunning() const { return m_timer.isActive(); }

protected:
    CZPTickingWidget(int intervalMs, QWidget* parent);

    virtual void Tick() = 0;

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QBasicTimer m_timer;
    int m_intervalMs;
};
