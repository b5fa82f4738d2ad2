#include "skin/skin_list_ctrl.h"

#include <QHeaderView>

CZPSkinListCtrl::CZPSkinListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionMode(ExtendedSelection);
    setSelectionBehavior(SelectRows);
    setAllColumnsShowFocus(true);
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(true);
    header()->setSectionsMovable(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void CZPSkinListCtrl::SetColumns(const QStringList& titles, const QList<int>& widths) {
    setColumnCount(int(titles.size()));
    setHeaderLabels(titles);
    for (int i = 0; i < widths.size() && i < titles.size(); ++i) setColumnWidth(i, widths[i]);
}

QTreeWidgetItem* CZPSkinListCtrl::AddRow(const QStringList& texts) {
    auto* item = new QTreeWidgetItem(this, texts);
    return item;
}

int CZPSkinListCtrl::CurrentRow() const {
    QTreeWidgetItem* item = currentItem();
    return item ? indexOfTopLevelItem(item) : -1;
}
