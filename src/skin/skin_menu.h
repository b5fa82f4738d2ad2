#pragma once

#include <QMenu>

// A skinned popup menu: one thin dark-blue rim, white face, the current item on a blue band.
// Every QMenu gets this look once CSkinTheme::InstallMenuLook has run; this class only gives
// the windows a name to build their command menus with.
class CZPSkinMenu : public QMenu {
    Q_OBJECT

public:
    explicit CZPSkinMenu(QWidget* parent = nullptr);
    CZPSkinMenu(const QString& title, QWidget* parent = nullptr);
};
