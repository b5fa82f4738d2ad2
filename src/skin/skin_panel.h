#pragma once

#include <QWidget>

#include "skin/skin_button.h"

// A skinned panel embedded in a window (the right pane of the main window, say). It paints a
// white face with the control rim and receives the codes of the skinned buttons on it; codes
// it does not handle go on to the window around it.
class CZPSkinPanel : public QWidget, public CSkinButtonSink {
    Q_OBJECT

public:
    explicit CZPSkinPanel(QWidget* parent = nullptr);

    void SetFramed(bool framed);

    // Passes the code to the nearest sink above this panel.
    void OnSkinButton(int code) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_framed = true;
};
