// The common parts of the panes that sit inside a window (the account and SMS panes of the
// main window, the contact editor) and of the windows that wrap one pane for a new item.
#pragma once

#include <QString>

class QGridLayout;
class QKeyEvent;
class QPainter;
class QRect;
class QWidget;

// The height of the title band along the top of a pane.
inline constexpr int kPaneHeaderHeight = 40;

// Paints a pane's white face, its title band with the caption, and the control rim.
void PaintPaneHeader(QPainter& painter, const QWidget* pane, const QString& caption);

// Paints the heading of a window that wraps one pane, left-aligned in the band above it.
void PaintPaneHeading(QPainter& painter, const QRect& band, const QString& heading);

// Accepts Enter, Return and Esc so that they neither confirm nor close the window around the
// pane; only its buttons do that. Returns false for every other key, which the caller passes on.
bool SwallowEnterAndEscape(QKeyEvent* event);

// A two-column form below the pane's title band: labels on the left, the fields stretching to
// the right. The right and bottom margins are the pane's own.
QGridLayout* NewPaneForm(QWidget* pane, int rightMargin, int bottomMargin);

// Puts a label and its field on one row of the form. The label of a multi-line field stays at
// the top of its row.
void AddFormRow(QGridLayout* form, int row, const QString& label, QWidget* field,
                bool multiLine = false);
