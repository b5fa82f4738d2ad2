#pragma once

#include <functional>

#include "skin/skin_dialog.h"

class CZPSkinEdit;
class CZPSkinListCtrl;

// The group list window of "分组管理": one row per group of the user (row i is entry i of
// GroupNames, the first shown as "全部"), a name field and the buttons that add, rename and
// delete groups and open the contact grouping window. After every change the main window is
// asked to refresh (with its group labels).
class CZPGroupEditDlg : public CZPSkinDialog {
    Q_OBJECT

public:
    static constexpr int kCodeAdd = 60;
    static constexpr int kCodeRename = 61;
    static constexpr int kCodeDelete = 62;
    static constexpr int kCodeManage = 63;
    static constexpr int kCodeClose = 64;
    static constexpr int kWidth = 360;
    static constexpr int kHeight = 380;

    // refresh(withLabels) reaches the main window; it may be empty.
    explicit CZPGroupEditDlg(QWidget* parent = nullptr,
                             std::function<void(bool withLabels)> refresh = {});

    CZPSkinListCtrl* Table() const { return m_table; }
    CZPSkinEdit* NameEdit() const { return m_name; }
    // The contact grouping window is opened through this, so tests can drive it.
    void SetManageOpener(std::function<void(int leftIndex)> open) {
        m_openManage = std::move(open);
    }

    void OnSkinButton(int code) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FillTable();
    void Add();
    void Rename();
    void DeleteGroup();
    void OpenManage();
    void Refresh(bool withLabels);

    CZPSkinListCtrl* m_table = nullptr;
    CZPSkinEdit* m_name = nullptr;
    std::function<void(bool)> m_refresh;
    std::function<void(int)> m_openManage;
};
