#include "skin/skin_tab_bar.h"

CZPSkinTabBar::CZPSkinTabBar(QWidget* parent) : QTabBar(parent) {
    setDrawBase(false);
    setExpanding(false);
    setElideMode(Qt::ElideRight);
    setUsesScrollButtons(false);
}
