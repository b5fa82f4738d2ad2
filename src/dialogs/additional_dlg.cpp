#include "dialogs/additional_dlg.h"

#include <QGridLayout>

CZPAdditionalDlg::CZPAdditionalDlg(QWidget* parent) : CZPContactPage(parent) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 10, 12, 10);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    int row = 0;
    for (const char* column : {"ClientID", "Anniversary", "Account1", "Account2", "Account3",
                               "Account4", "Account5", "Ring"}) {
        QWidget* label = nullptr;
        QWidget* edit = AddField(column, &label);
        grid->addWidget(label, row, 0);
        // The short fields take half the width; the ring tone's path the whole of it.
        grid->addWidget(edit, row, 1, 1, std::string_view(column) == "Ring" ? 2 : 1);
        ++row;
    }
    grid->setRowStretch(row, 1);
}
