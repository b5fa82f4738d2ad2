#include "skin/skin_combo_box.h"

#include <QLineEdit>
#include <QListView>

CZPSkinComboBox::CZPSkinComboBox(QWidget* parent, bool editable) : QComboBox(parent) {
    setEditable(editable);
    // A plain list view lets the style sheet reach the rows of the drop-down list.
    setView(new QListView(this));
}

void CZPSkinComboBox::SetMaxLength(int length) {
    if (QLineEdit* edit = lineEdit()) edit->setMaxLength(length);
}
