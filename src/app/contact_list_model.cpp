#include "app/contact_list_model.h"

#include <QSize>

namespace {

QString Column(const kavo::CListRow& row, int column) {
    const std::string& text = column == 0 ? row.name : column == 1 ? row.phone : row.mobile1;
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

int CContactListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CContactListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CContactListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= static_cast<int>(m_rows.size()))
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return Column(m_rows[static_cast<std::size_t>(index.row())], index.column());
    if (role == Qt::SizeHintRole) return QSize(0, kRowHeight);
    return {};
}

QVariant CContactListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const titles[kColumnCount] = {"姓名", "手机", "手机1"};
    return section >= 0 && section < kColumnCount ? QString::fromUtf8(titles[section]) : QVariant();
}

void CContactListModel::SetRows(std::vector<kavo::CListRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void CContactListModel::SetRow(int row, kavo::CListRow value) {
    if (row < 0 || row >= static_cast<int>(m_rows.size())) return;
    m_rows[static_cast<std::size_t>(row)] = std::move(value);
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

void CContactListModel::AppendRow(kavo::CListRow value) {
    const int at = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), at, at);
    m_rows.push_back(std::move(value));
    endInsertRows();
}

void CContactListModel::RemoveRow(int row) {
    if (row < 0 || row >= static_cast<int>(m_rows.size())) return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}
