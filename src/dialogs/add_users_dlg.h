// The new-contact window: the contact editor in modal mode, 800 × 600, centred over its
// owner. It ends with OK when the editor's checks pass; the owner then gathers the record.
#pragma once

#include "skin/skin_dialog.h"
#include "store/records.h"

class CZPNameCardDlg;

class CZPAddUsersDlg : public CZPSkinDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 800;
    static constexpr int kHeight = 600;
    static constexpr int kCodeMinimise = 120;
    static constexpr int kCodeClose = 121;

    explicit CZPAddUsersDlg(int initialGroupIndex, QWidget* parent = nullptr);

    CZPNameCardDlg* NameCard() const { return m_card; }
    // The editor's record (after OK).
    bool Record(kavo::CRelData& rel) const;

    void OnSkinButton(int code) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void PaintBody(QPainter& painter, const QRect& body) override;

private:
    CZPNameCardDlg* m_card = nullptr;
};
