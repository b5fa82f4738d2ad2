// The common part of the contact editor's three pages: each edit field is bound to a column
// of the contact record, limited in GBK bytes, and exchanged with the form in both
// directions. A user edit raises `modified`; the program's own filling does not.
#pragma once

#include <QHash>
#include <QString>
#include <QWidget>

#include "workflows/contact_form.h"

class QGridLayout;
class QLineEdit;
class CZPLimitedTextEdit;

class CZPContactPage : public QWidget {
    Q_OBJECT
public:
    explicit CZPContactPage(QWidget* parent = nullptr);

    // The form's values into the controls.
    virtual void Fill(const kavo::CContactForm& form);
    // The controls into the form's values.
    virtual void Gather(kavo::CContactForm& form) const;
    // Every button, field and selector of the page.
    void EnableControls(bool enable);

    // The edit bound to a column, or nullptr (one-line fields only).
    QLineEdit* LineEdit(const QString& column) const { return m_lines.value(column); }
    CZPLimitedTextEdit* TextEdit(const QString& column) const { return m_texts.value(column); }

signals:
    void modified();

protected:
    // Creates the edit of `column` (its label, limit and kind from the editor's field
    // table) and binds it; returns the label and the edit.
    QWidget* AddField(const char* column, QWidget** label);
    bool m_filling = false;

    void keyPressEvent(QKeyEvent* event) override;

private:
    QHash<QString, QLineEdit*> m_lines;
    QHash<QString, CZPLimitedTextEdit*> m_texts;
};
