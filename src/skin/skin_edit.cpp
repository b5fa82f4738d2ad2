#include "skin/skin_edit.h"

CZPSkinEdit::CZPSkinEdit(QWidget* parent) : QLineEdit(parent) {}
