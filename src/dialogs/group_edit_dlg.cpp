#include "dialogs/group_edit_dlg.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QTreeWidgetItem>

#include "dialogs/group_manage_dlg.h"
#include "dialogs/message_box.h"
#include "skin/skin_button.h"
#include "skin/skin_edit.h"
#include "skin/skin_label.h"
#include "skin/skin_list_ctrl.h"
#include "store/app_state.h"
#include "workflows/group_manager_flow.h"
#include "workflows/messages.h"

namespace {

QString U(const std::string& utf8) { return QString::fromStdString(utf8); }
QString U(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

CZPGroupEditDlg::CZPGroupEditDlg(QWidget* parent, std::function<void(bool)> refresh)
    : CZPSkinDialog(parent), m_refresh(std::move(refresh)) {
    setModal(true);
    setFixedSize(kWidth, kHeight);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 12, 16, 14);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);

    m_table = new CZPSkinListCtrl(this);
    m_table->SetColumns({U(kavo::msg::kGroupNameHeader)}, {100});
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->addWidget(m_table, 0, 0, 6, 1);

    auto addButton = [&](const char* caption, int code, int row) {
        auto* button = new CZPSkinButton(U(caption), code, this);
        button->setAutoDefault(false);
        button->setMinimumWidth(120);
        grid->addWidget(button, row, 1);
    };
    grid->addWidget(new CZPSkinLabel(QStringLiteral("请输入分组名："), this), 0, 1);
    m_name = new CZPSkinEdit(this);
    grid->addWidget(m_name, 1, 1);
    addButton("添加", kCodeAdd, 2);
    addButton("修改", kCodeRename, 3);
    addButton("删除分组", kCodeDelete, 4);
    addButton("联系人分组管理...", kCodeManage, 5);
    grid->setRowStretch(6, 1);
    addButton("关闭", kCodeClose, 7);
    grid->setColumnStretch(0, 1);

    connect(m_table, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { m_name->setText(item->text(0)); });
    FillTable();
}

void CZPGroupEditDlg::FillTable() {
    m_table->clear();
    const int count = static_cast<int>(kavo::AppState().GroupNames.size());
    for (int i = 0; i < count; ++i) m_table->AddRow({U(kavo::GroupDisplayName(i))});
}

void CZPGroupEditDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    CZPSkinDialog::keyPressEvent(event);
}

void CZPGroupEditDlg::OnSkinButton(int code) {
    switch (code) {
        case kCodeAdd:
            Add();
            break;
        case kCodeRename:
            Rename();
            break;
        case kCodeDelete:
            DeleteGroup();
            break;
        case kCodeManage:
            OpenManage();
            break;
        case kCodeClose:
            reject();
            break;
        default:
            CZPSkinDialog::OnSkinButton(code);
            break;
    }
}

void CZPGroupEditDlg::Refresh(bool withLabels) {
    if (m_refresh) m_refresh(withLabels);
}

void CZPGroupEditDlg::Add() {
    const std::string refusal = kavo::AddGroupNamed(m_name->text().toStdString());
    if (!refusal.empty()) {
        ZPMessageBox(this, U(refusal), kMsgIconError, kMsgOk);
        return;
    }
    FillTable();
    Refresh(true);
    m_name->clear();
}

void CZPGroupEditDlg::Rename() {
    const int row = m_table->currentItem() ? m_table->CurrentRow() : -1;
    const std::string refusal = kavo::RenameGroupAt(row, m_name->text().toStdString());
    if (!refusal.empty()) {
        ZPMessageBox(this, U(refusal), kMsgIconError, kMsgOk);
        return;
    }
    m_table->topLevelItem(row)->setText(0, U(kavo::GroupDisplayName(row)));
    Refresh(true);
    m_name->clear();
}

void CZPGroupEditDlg::DeleteGroup() {
    const int row = m_table->currentItem() ? m_table->CurrentRow() : -1;
    const std::string refusal = kavo::CheckDeleteGroupAt(row);
    if (!refusal.empty()) {
        ZPMessageBox(this, U(refusal), kMsgIconError, kMsgOk);
        return;
    }
    bool withContacts = true;
    if (kavo::GroupContactCount(row) == 0) {
        if (ZPMessageBox(this, U(kavo::msg::kAskDelete), kMsgIconQuestion, kMsgYesNo) != kIdYes)
            return;
    } else {
        const int answer = ZPMessageBox(this, U(kavo::msg::kAskDeleteGroupContacts),
                                        kMsgIconQuestion, kMsgYesNoCancel);
        if (answer != kIdYes && answer != kIdNo) return;
        withContacts = answer == kIdYes;
    }
    kavo::DeleteGroupAt(row, withContacts);
    delete m_table->takeTopLevelItem(row);
    Refresh(true);
}

void CZPGroupEditDlg::OpenManage() {
    const int row = m_table->currentItem() ? m_table->CurrentRow() : 0;
    if (m_openManage) {
        m_openManage(row);
        return;
    }
    CZPGroupManageDlg manage(row, this, m_refresh);
    manage.exec();
}
