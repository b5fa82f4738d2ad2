// The new-account window: one account panel in new mode, 549 × 532, centred on the screen.
#pragma once

#include "skin/skin_dialog.h"
#include "store/records.h"

class CZPAccountDlg;

class CZPAccountAddDlg : public CZPSkinDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 549;
    static constexpr int kHeight = 532;
    static constexpr int kCodeMinimise = 140;
    static constexpr int kCodeClose = 141;

    explicit CZPAccountAddDlg(QWidget* parent = nullptr);

    CZPAccountDlg* Panel() const { return m_panel; }
    kavo::CAccountData Record() const;

    void OnSkinButton(int code) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void PaintBody(QPainter& painter, const QRect& body) override;

private:
    CZPAccountDlg* m_panel = nullptr;
};
