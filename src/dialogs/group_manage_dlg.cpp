#include "dialogs/group_manage_dlg.h"

#include <QGridLayout>
#include <QTreeWidgetItem>

#include "codecs/gbk_text.h"
#include "dialogs/message_box.h"
#include "skin/skin_button.h"
#include "skin/skin_combo_box.h"
#include "skin/skin_label.h"
#include "skin/skin_list_ctrl.h"
#include "store/app_state.h"
#include "workflows/group_manager_flow.h"
#include "workflows/messages.h"

namespace {

constexpr int kPositionRole = Qt::UserRole;

}  // namespace

CZPGroupManageDlg::CZPGroupManageDlg(int leftIndex, QWidget* parent,
                                     std::function<void(bool)> refresh)
    : CZPSkinDialog(parent),
      m_mover(std::make_unique<kavo::CGroupMover>()),
      m_refresh(std::move(refresh)) {
    setModal(true);
    setFixedSize(kWidth, kHeight);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 12, 16, 14);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);

    const int groups = static_cast<int>(kavo::AppState().GroupNames.size());
    for (int side = 0; side < 2; ++side) {
        const int column = side == 0 ? 0 : 2;
        grid->addWidget(
            new CZPSkinLabel(side == 0 ? QStringLiteral("分组1") : QStringLiteral("分组2"), this),
            0, column);
        m_combo[side] = new CZPSkinComboBox(this);
        for (int i = 0; i < groups; ++i)
            m_combo[side]->addItem(QString::fromStdString(kavo::GroupDisplayName(i)));
        grid->addWidget(m_combo[side], 1, column);
        m_list[side] = new CZPSkinListCtrl(this);
        m_list[side]->SetColumns({QStringLiteral("姓名")}, {100});
        m_list[side]->setHeaderHidden(true);
        grid->addWidget(m_list[side], 2, column, 4, 1);
    }
    auto* toRight = new CZPSkinButton(QStringLiteral(">>"), kCodeToRight, this);
    auto* toLeft = new CZPSkinButton(QStringLiteral("<<"), kCodeToLeft, this);
    auto* close = new CZPSkinButton(QStringLiteral("关闭"), kCodeClose, this);
    for (CZPSkinButton* button : {toRight, toLeft, close}) {
        button->setAutoDefault(false);
        button->setFixedWidth(60);
    }
    grid->setRowStretch(2, 1);
    grid->addWidget(toRight, 3, 1);
    grid->addWidget(toLeft, 4, 1);
    grid->setRowStretch(5, 1);
    grid->addWidget(close, 6, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);

    m_combo[0]->setCurrentIndex(leftIndex < 0 || leftIndex >= groups ? 0 : leftIndex);
    m_combo[1]->setCurrentIndex(0);
    Fill(0);
    Fill(1);
    for (int side = 0; side < 2; ++side)
        connect(m_combo[side], &QComboBox::currentIndexChanged, this, [this, side] { Fill(side); });
}

CZPGroupManageDlg::~CZPGroupManageDlg() = default;

void CZPGroupManageDlg::Fill(int side) {
    CZPSkinListCtrl* list = m_list[side];
    list->clear();
    for (int pos : m_mover->Members(m_combo[side]->currentIndex())) {
        auto* item = new QTreeWidgetItem(
            QStringList{QString::fromStdString(kavo::FieldUtf8(m_mover->Contacts()[pos].RelName))});
        item->setData(0, kPositionRole, pos);
        list->insertTopLevelItem(0, item);  // newest on top: the copy's order reversed
    }
}

QStringList CZPGroupManageDlg::Names(int side) const {
    QStringList names;
    for (int i = 0; i < m_list[side]->topLevelItemCount(); ++i)
        names << m_list[side]->topLevelItem(i)->text(0);
    return names;
}

void CZPGroupManageDlg::OnSkinButton(int code) {
    switch (code) {
        case kCodeToRight:
            Move(0);
            break;
        case kCodeToLeft:
            Move(1);
            break;
        case kCodeClose:
            reject();
            break;
        default:
            CZPSkinDialog::OnSkinButton(code);
            break;
    }
}

void CZPGroupManageDlg::Move(int from) {
    const int to = 1 - from;
    CZPSkinListCtrl* source = m_list[from];
    CZPSkinListCtrl* target = m_list[to];
    std::vector<int> positions;
    for (int i = 0; i < source->topLevelItemCount(); ++i)
        if (source->topLevelItem(i)->isSelected())
            positions.push_back(source->topLevelItem(i)->data(0, kPositionRole).toInt());
    const auto result =
        m_mover->Move(m_combo[from]->currentIndex(), m_combo[to]->currentIndex(), positions);

    for (std::size_t i = 0; i < result.duplicates.size(); ++i)
        ZPMessageBox(
            this,
            QString::fromUtf8(from == 0 ? kavo::msg::kAlreadyInRight : kavo::msg::kAlreadyInLeft),
            kMsgIconError, kMsgOk);
    for (int pos : result.added) {
        QTreeWidgetItem* item = target->AddRow(
            {QString::fromStdString(kavo::FieldUtf8(m_mover->Contacts()[pos].RelName))});
        item->setData(0, kPositionRole, pos);
        item->setSelected(true);
    }
    for (int pos : result.removed)
        for (int i = source->topLevelItemCount() - 1; i >= 0; --i)
            if (source->topLevelItem(i)->data(0, kPositionRole).toInt() == pos)
                delete source->takeTopLevelItem(i);
    if (result.stored > 0 && m_refresh) m_refresh(false);
}
