#pragma once

#include <QPointer>

#include "skin/skin_dialog.h"

class QEventLoop;

// A skinned window run modally whose modal run outlives hiding it. The login and
// registration windows hide themselves while their progress window works and show
// themselves again afterwards; a plain QDialog would end exec() at the first hide.
// exec() returns only when done() (accept, reject, the close box) ends the window.
class CZPModalDialog : public CZPSkinDialog {
    Q_OBJECT

public:
    explicit CZPModalDialog(QWidget* parent = nullptr);
    ~CZPModalDialog() override;

    int exec() override;
    void done(int result) override;

    // Whether exec() is running for this window.
    bool IsRunning() const { return m_loop != nullptr; }

private:
    QEventLoop* m_loop = nullptr;
    bool m_ended = false;
};
