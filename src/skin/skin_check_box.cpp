#include "skin/skin_check_box.h"

CZPSkinCheckBox::CZPSkinCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_TranslucentBackground);
}
