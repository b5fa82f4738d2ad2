#pragma once

#include <QBasicTimer>
#include <QWidget>

// The busy animation of the progress windows: a ring of dots whose bright head turns while
// the widget is shown. It runs only while visible, so a hidden window costs no timer.
class CZPBusyIndicator : public QWidget {
    Q_OBJECT

public:
    static constexpr int kDots = 12;
    static constexpr int kIntervalMs = 80;

    explicit CZPBusyIndicator(QWidget* parent = nullptr);

    int Step() const { return m_step; }
    bool IsRunning() const { return m_timer.isActive(); }
    // Moves the animation on by one step (what each timer tick does).
    void Advance();

    QSize sizeHint() const override { return {40, 40}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QBasicTimer m_timer;
    int m_step = 0;
};
