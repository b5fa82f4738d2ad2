#pragma once

#include <functional>
#include <memory>

#include "skin/skin_dialog.h"

class CZPSkinComboBox;
class CZPSkinListCtrl;
namespace kavo {
class CGroupMover;
}

// The contact grouping window: two groups side by side ("分组1" left, "分组2" right) over a
// copy of the user's contacts, and ">>" / "<<" to move the selected contacts across. Each
// list row carries the contact's position in the copy; a list shows the copy reversed.
class CZPGroupManageDlg : public CZPSkinDialog {
    Q_OBJECT

public:
    static constexpr int kCodeToRight = 70;
    static constexpr int kCodeToLeft = 71;
    static constexpr int kCodeClose = 72;
    static constexpr int kWidth = 460;
    static constexpr int kHeight = 420;

    CZPGroupManageDlg(int leftIndex, QWidget* parent = nullptr,
                      std::function<void(bool withLabels)> refresh = {});
    ~CZPGroupManageDlg() override;

    CZPSkinComboBox* LeftGroup() const { return m_combo[0]; }
    CZPSkinComboBox* RightGroup() const { return m_combo[1]; }
    CZPSkinListCtrl* LeftList() const { return m_list[0]; }
    CZPSkinListCtrl* RightList() const { return m_list[1]; }
    // The names a list shows, top to bottom (tests and screenshots).
    QStringList Names(int side) const;

    void OnSkinButton(int code) override;

private:
    void Fill(int side);
    void Move(int from);

    std::unique_ptr<kavo::CGroupMover> m_mover;
    CZPSkinComboBox* m_combo[2] = {};
    CZPSkinListCtrl* m_list[2] = {};
    std::function<void(bool)> m_refresh;
};
