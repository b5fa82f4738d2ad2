#pragma once

#include "skin/skin_dialog.h"

// The about box: the product, its versions (PC and phone edition) and the service's notices,
// with an OK button; OK and the close box both close it.
class CZPAbout : public CZPSkinDialog {
    Q_OBJECT

public:
    static constexpr int kCodeOk = 90;
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 250;

    explicit CZPAbout(QWidget* parent = nullptr);

    // The four lines, top to bottom.
    QStringList Lines() const;

    void OnSkinButton(int code) override;
};
