#pragma once

#include <QList>
#include <QString>
#include <QTimer>

#include "skin/skin_dialog.h"

// The message box: one centred line of text, one of four icons and one of seven button sets.
// Button set 5 can count down to an automatic "No" (delete permanently). Windows do not use
// this class directly; they call ZPMessageBox (dialogs/message_box.h).
class CZPMsgDlg : public CZPSkinDialog {
    Q_OBJECT

public:
    // The code of the "delete permanently" button; the other buttons carry their results.
    static constexpr int kCodeDeleteForever = 100;
    static constexpr int kCountdownStart = 6;  // one tick happens at once, so 5 is shown first
    static constexpr int kCountdownIntervalMs = 1000;

    static constexpr int kMinWidth = 390;
    static constexpr int kHeight = 190;
    static constexpr int kButtonWidth = 69;
    static constexpr int kButtonHeight = 27;
    static constexpr int kButtonGap = 10;
    static constexpr int kButtonTop = 150;
    static constexpr int kTextMargin = 24;

    CZPMsgDlg(const QString& text, int icon, int buttons, QWidget* owner = nullptr);

    QString Text() const { return m_text; }
    int Icon() const { return m_icon; }
    int ButtonSet() const { return m_buttonSet; }
    const QList<CZPSkinButton*>& Buttons() const { return m_buttons; }

    bool IsCountingDown() const { return m_timer.isActive(); }
    int Counter() const { return m_counter; }
    const QTimer& CountdownTimer() const { return m_timer; }

    // One second of the countdown: what the timer does each time it fires.
    void CountdownTick();

    void OnSkinButton(int code) override;
    void done(int result) override;
    void reject() override;

    // The rectangle the text line is drawn in.
    QRect TextRect() const;

protected:
    void PaintBody(QPainter& painter, const QRect& body) override;
    void showEvent(QShowEvent* event) override;

private:
    void AddButton(const QString& caption, const QString& subtitle, int code);
    void StartCountdown();
    void StopCountdown();
    void LayOut();

    QString m_originalText;
    QString m_text;
    int m_icon = 0;
    int m_buttonSet = 0;
    QList<CZPSkinButton*> m_buttons;
    QTimer m_timer;
    int m_counter = 0;
};
