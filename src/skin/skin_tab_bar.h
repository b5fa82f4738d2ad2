#pragma once

#include <QTabBar>

// Skinned tab items: light tabs, the selected one white and bold, joined to the panel below.
class CZPSkinTabBar : public QTabBar {
    Q_OBJECT

public:
    explicit CZPSkinTabBar(QWidget* parent = nullptr);
};
