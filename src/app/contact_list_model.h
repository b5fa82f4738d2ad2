// The rows of the main window's list as a model: three columns (name, phone, first mobile
// number) over a vector of rows, so that ten thousand rows are taken over in one reset
// instead of ten thousand widget items.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "workflows/list_rows.h"

class CContactListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 3;
    static constexpr int kRowHeight = 24;

    explicit CContactListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    const std::vector<kavo::CListRow>& Rows() const { return m_rows; }
    void SetRows(std::vector<kavo::CListRow> rows);
    void SetRow(int row, kavo::CListRow value);
    void AppendRow(kavo::CListRow value);
    void RemoveRow(int row);

private:
    std::vector<kavo::CListRow> m_rows;
};
