#include "dialogs/progress_face.h"

#include <QPainter>

#include "skin/busy_indicator.h"
#include "skin/skin_button.h"
#include "skin/skin_dialog.h"
#include "skin/skin_theme.h"

namespace {

constexpr int kBusySize = 36;
constexpr int kBusyTop = 8;
constexpr int kTextTop = 50;
constexpr int kTextHeight = 24;
constexpr int kButtonWidth = 69;
constexpr int kButtonHeight = 27;
constexpr int kButtonBottomGap = 10;

}  // namespace

CZPSkinButton* BuildProgressFace(CZPSkinDialog* window, int cancelCode) {
    auto* busy = new CZPBusyIndicator(window);
    busy->setFixedSize(kBusySize, kBusySize);
    auto* cancel = new CZPSkinButton(QStringLiteral("取消"), cancelCode, window);
    cancel->SetSubtitle(QStringLiteral("Cancel"));
    cancel->setAutoDefault(false);

    const QRect body = window->BodyRect();
    busy->move(body.left() + (body.width() - kBusySize) / 2, body.top() + kBusyTop);
    cancel->setGeometry(body.left() + (body.width() - kButtonWidth) / 2,
                        body.bottom() - kButtonHeight - kButtonBottomGap, kButtonWidth,
                        kButtonHeight);
    return cancel;
}

void PaintProgressText(QPainter& painter, const QRect& body, const QString& text) {
    painter.setPen(CSkinTheme::Color(ESkinColor::kText));
    painter.setFont(CSkinTheme::UiFont(13));
    const QRect line(body.left(), body.top() + kTextTop, body.width(), kTextHeight);
    painter.drawText(line, Qt::AlignCenter | Qt::TextSingleLine, text);
}
