#include "dialogs/field_limits.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTextCursor>

#include "workflows/contact_form.h"

CGbkLimitValidator::CGbkLimitValidator(int maxBytes, bool digitsOnly, QObject* parent)
    : QValidator(parent), m_maxBytes(maxBytes), m_digitsOnly(digitsOnly) {}

QValidator::State CGbkLimitValidator::validate(QString& input, int&) const {
    const QByteArray utf8 = input.toUtf8();
    return kavo::FitsField(std::string_view(utf8.constData(), utf8.size()), m_maxBytes,
                           m_digitsOnly)
               ? Acceptable
               : Invalid;
}

void LimitField(QLineEdit* edit, int maxBytes, bool digitsOnly) {
    edit->setMaxLength(maxBytes);
    edit->setValidator(new CGbkLimitValidator(maxBytes, digitsOnly, edit));
}

CZPLimitedTextEdit::CZPLimitedTextEdit(int maxBytes, QWidget* parent)
    : QPlainTextEdit(parent), m_maxBytes(maxBytes) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setMinimumHeight(54);
    connect(this, &QPlainTextEdit::textChanged, this, [this] { Enforce(); });
}

void CZPLimitedTextEdit::Enforce() {
    if (m_enforcing) return;
    const QByteArray utf8 = toPlainText().toUtf8();
    const std::string_view text(utf8.constData(), utf8.size());
    if (kavo::GbkByteLength(text) <= static_cast<std::size_t>(m_maxBytes)) return;
    m_enforcing = true;
    const std::string cut = kavo::CutToGbkBytes(text, m_maxBytes);
    setPlainText(QString::fromUtf8(cut.data(), static_cast<qsizetype>(cut.size())));
    moveCursor(QTextCursor::End);
    m_enforcing = false;
}

void CZPLimitedTextEdit::keyPressEvent(QKeyEvent* event) {
    const QString before = toPlainText();
    QPlainTextEdit::keyPressEvent(event);
    if (event->key() == Qt::Key_Escape) return;
    if (toPlainText() != before || event->key() == Qt::Key_Delete) emit userEdited();
}

void CZPLimitedTextEdit::insertFromMimeData(const QMimeData* source) {
    QPlainTextEdit::insertFromMimeData(source);
    emit userEdited();
}
