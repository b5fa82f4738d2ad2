#pragma once

#include <QString>

#include "skin/ticking_widget.h"

// A one-line text that scrolls from right to left, one pixel per step of its 40 ms timer.
// When the text has left the line completely, the line asks for the next one (needNextText);
// the window answers with SetText. The timer runs only while the line is shown.
class CZPNoticeLine : public CZPTickingWidget {
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 40;

    explicit CZPNoticeLine(QWidget* parent = nullptr);

    // Starts the text anew at the right edge.
    void SetText(const QString& text);
    QString Text() const { return m_text; }

    // The left edge of the text, relative to the line.
    int Offset() const { return m_offset; }
    void SetTextColor(const QColor& color);

    // One step of the scroll: what each timer tick does.
    void Step();

    QSize sizeHint() const override;

signals:
    void needNextText();

protected:
    void paintEvent(QPaintEvent* event) override;
    void Tick() override { Step(); }

private:
    QString m_text;
    int m_offset = 0;
    QColor m_color;
};
