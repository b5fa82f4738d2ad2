#include "skin/skin_panel.h"

#include <QPainter>

#include "skin/skin_theme.h"

CZPSkinPanel::CZPSkinPanel(QWidget* parent) : QWidget(parent) {}

void CZPSkinPanel::SetFramed(bool framed) {
    m_framed = framed;
    update();
}

void CZPSkinPanel::OnSkinButton(int code) {
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* sink = dynamic_cast<CSkinButtonSink*>(w)) {
            sink->OnSkinButton(code);
            return;
        }
    }
}

void CZPSkinPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), CSkinTheme::Color(ESkinColor::kPanel));
    if (m_framed) {
        painter.setPen(CSkinTheme::Color(ESkinColor::kControlBorder));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}
