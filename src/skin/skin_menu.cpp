#include "skin/skin_menu.h"

CZPSkinMenu::CZPSkinMenu(QWidget* parent) : QMenu(parent) {
    setWindowFlag(Qt::NoDropShadowWindowHint, true);
}

CZPSkinMenu::CZPSkinMenu(const QString& title, QWidget* parent) : QMenu(title, parent) {
    setWindowFlag(Qt::NoDropShadowWindowHint, true);
}
