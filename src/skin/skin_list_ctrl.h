#pragma once

#include <QStringList>
#include <QTreeWidget>

// A skinned report list: columns with a header, whole rows selected, several rows at once,
// alternating row colours. Rows are plain QTreeWidgetItems without children.
class CZPSkinListCtrl : public QTreeWidget {
    Q_OBJECT

public:
    explicit CZPSkinListCtrl(QWidget* parent = nullptr);

    // Sets the column titles and, where given, their widths in pixels.
    void SetColumns(const QStringList& titles, const QList<int>& widths = {});

    // Appends a row with the given column texts and returns it.
    QTreeWidgetItem* AddRow(const QStringList& texts);

    // The row index of the current item, -1 when there is none.
    int CurrentRow() const;
};
