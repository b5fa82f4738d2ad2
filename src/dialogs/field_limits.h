// Edit fields whose limits count GBK bytes, the unit of the record's columns: a field of a
// 50-byte column accepts 49 bytes, whether they are 49 Latin letters or 24 Chinese
// characters. Some fields take digits only.
#pragma once

#include <QPlainTextEdit>
#include <QValidator>

class QLineEdit;

class CGbkLimitValidator : public QValidator {
    Q_OBJECT
public:
    CGbkLimitValidator(int maxBytes, bool digitsOnly, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;
    int MaxBytes() const { return m_maxBytes; }

private:
    int m_maxBytes;
    bool m_digitsOnly;
};

// Puts the limit on a one-line field (QLineEdit's own maximum counts characters, so it is
// only a generous backstop).
void LimitField(QLineEdit* edit, int maxBytes, bool digitsOnly = false);

// A multi-line field with a GBK byte limit: text beyond the limit, typed or pasted, is cut
// off at once. Enter starts a new line here.
class CZPLimitedTextEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CZPLimitedTextEdit(int maxBytes, QWidget* parent = nullptr);
    int MaxBytes() const { return m_maxBytes; }

signals:
    // Typed or pasted by the user (not set by the program).
    void userEdited();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void Enforce();
    int m_maxBytes;
    bool m_enforcing = false;
};
