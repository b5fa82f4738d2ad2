#pragma once

#include "skin/ticking_widget.h"

// The busy animation of the progress windows: a ring of dots whose bright head turns while
// the widget is shown.
class CZPBusyIndicator : public CZPTickingWidget {
    Q_OBJECT

public:
    static constexpr int kDots = 12;
    static constexpr int kIntervalMs = 80;

    explicit CZPBusyIndicator(QWidget* parent = nullptr);

    int Step() const { return m_step; }
    // Moves the animation on by one step (what each timer tick does).
    void Advance();

    QSize sizeHint() const override { return {40, 40}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void Tick() override { Advance(); }

private:
    int m_step = 0;
};
