#include "dialogs/file_dialog.h"

#include <QFileDialog>

#include "skin/skin_theme.h"

namespace {

QString Choose(QWidget* owner, const QString& filter, const QString& suggested, bool save,
               QString* selectedFilter = nullptr) {
    QFileDialog dialog(owner, CSkinTheme::Caption(), suggested, filter);
    dialog.setWindowRole(QStringLiteral("QFileDialog"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The detail view, wide enough that the translated column titles are not cut.
    dialog.setViewMode(QFileDialog::Detail);
    dialog.resize(720, 460);
    if (selectedFilter && !selectedFilter->isEmpty()) dialog.selectNameFilter(*selectedFilter);
    if (dialog.exec() != QDialog::Accepted) return {};
    if (selectedFilter) *selectedFilter = dialog.selectedNameFilter();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace

QString ChooseFileToOpen(QWidget* owner, const QString& filter) {
    return Choose(owner, filter, QString(), false);
}

QString ChooseFileToSave(QWidget* owner, const QString& filter, const QString& suggested,
                         QString* selectedFilter) {
    return Choose(owner, filter, suggested, true, selectedFilter);
}
