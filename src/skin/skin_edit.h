#pragma once

#include <QLineEdit>

// A skinned one-line edit field. The cue text is shown in the dim colour while the field is
// empty; a masked field shows bullets for a password.
class CZPSkinEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit CZPSkinEdit(QWidget* parent = nullptr);

    void SetCueText(const QString& cue) { setPlaceholderText(cue); }
    void SetMasked(bool masked) { setEchoMode(masked ? Password : Normal); }
};
