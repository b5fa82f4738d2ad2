#pragma once

#include <QString>

class QWidget;

// The program's file dialogs: Qt's own, with the program's caption, over the window that
// asked. The window's role names the dialog ("QFileDialog") for the desktop.
// The file to open, or "" when the user cancelled.
QString ChooseFileToOpen(QWidget* owner, const QString& filter);
// The file to save to, starting at `suggested`, or "" when the user cancelled. With
// `selectedFilter`, the filter offered first in, the one the user took out.
QString ChooseFileToSave(QWidget* owner, const QString& filter, const QString& suggested,
                         QString* selectedFilter = nullptr);
