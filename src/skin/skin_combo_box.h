#pragma once

#include <QComboBox>

// A skinned drop-down list, editable (the user-name box of the login window) or not.
class CZPSkinComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit CZPSkinComboBox(QWidget* parent = nullptr, bool editable = false);

    // Limits the text typed into an editable box; a list entry longer than that is cut when
    // it is picked, as it would be when typed.
    void SetMaxLength(int length);
};
