#pragma once

#include <QCheckBox>

// A skinned check box: a rounded box that fills with the accent colour and a white check mark
// when ticked, on a transparent background so that it sits on any window picture.
class CZPSkinCheckBox : public QCheckBox {
    Q_OBJECT

public:
    explicit CZPSkinCheckBox(const QString& text, QWidget* parent = nullptr);
};
