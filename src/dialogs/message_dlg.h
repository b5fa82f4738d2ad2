// The SMS view: the sender, number, time and text of the SMS selected in the main window's
// list, read-only.
#pragma once

#include <QWidget>

#include "store/records.h"

class QLineEdit;
class QPlainTextEdit;

class CZPMessageDlg : public QWidget {
    Q_OBJECT
public:
    explicit CZPMessageDlg(QWidget* parent = nullptr);

    // Shows the record (an empty record clears the four fields).
    void Fill(const kavo::CSmsData& sms);

    QLineEdit* SenderEdit() const { return m_sender; }
    QLineEdit* PhoneEdit() const { return m_phone; }
    QLineEdit* TimeEdit() const { return m_time; }
    QPlainTextEdit* TextEdit() const { return m_text; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLineEdit* m_sender = nullptr;
    QLineEdit* m_phone = nullptr;
    QLineEdit* m_time = nullptr;
    QPlainTextEdit* m_text = nullptr;
};
