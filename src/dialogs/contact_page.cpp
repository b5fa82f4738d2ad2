#include "dialogs/contact_page.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "dialogs/field_limits.h"
#include "skin/skin_edit.h"
#include "skin/skin_label.h"
#include "skin/skin_pane.h"

CZPContactPage::CZPContactPage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground, true);
}

QWidget* CZPContactPage::AddField(const char* column, QWidget** label) {
    const kavo::CContactField* field = kavo::FindContactField(column);
    Q_ASSERT(field);
    *label = new CZPSkinLabel(QString::fromUtf8(field->label), this);
    const QString key = QString::fromLatin1(column);
    if (field->multiLine) {
        auto* text = new CZPLimitedTextEdit(field->maxBytes, this);
        text->setObjectName(key);
        connect(text, &CZPLimitedTextEdit::userEdited, this, [this] {
            if (!m_filling) emit modified();
        });
        m_texts.insert(key, text);
        return text;
    }
    auto* edit = new CZPSkinEdit(this);
    edit->setObjectName(key);
    LimitField(edit, field->maxBytes, field->digitsOnly);
    // textEdited comes from the user alone (typing, pasting, deleting), never from setText.
    connect(edit, &QLineEdit::textEdited, this, [this] {
        if (!m_filling) emit modified();
    });
    m_lines.insert(key, edit);
    return edit;
}

void CZPContactPage::Fill(const kavo::CContactForm& form) {
    m_filling = true;
    for (auto it = m_lines.cbegin(); it != m_lines.cend(); ++it) {
        const std::string& text = form.Text(it.key().toStdString());
        it.value()->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        it.value()->setCursorPosition(0);
    }
    for (auto it = m_texts.cbegin(); it != m_texts.cend(); ++it) {
        const std::string& text = form.Text(it.key().toStdString());
        it.value()->setPlainText(
            QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
    m_filling = false;
}

void CZPContactPage::Gather(kavo::CContactForm& form) const {
    for (auto it = m_lines.cbegin(); it != m_lines.cend(); ++it)
        form.Text(it.key().toStdString()) = it.value()->text().toStdString();
    for (auto it = m_texts.cbegin(); it != m_texts.cend(); ++it)
        form.Text(it.key().toStdString()) = it.value()->toPlainText().toStdString();
}

void CZPContactPage::EnableControls(bool enable) {
    // findChildren descends into nested children as well.
    for (QWidget* w : findChildren<QWidget*>()) {
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) ||
            qobject_cast<QComboBox*>(w) || qobject_cast<QPushButton*>(w))
            w->setEnabled(enable);
    }
}

void CZPContactPage::keyPressEvent(QKeyEvent* event) {
    // Enter and Esc neither save nor close anything from inside the editor.
    if (!SwallowEnterAndEscape(event)) QWidget::keyPressEvent(event);
}
