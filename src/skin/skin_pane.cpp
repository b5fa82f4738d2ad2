#include "skin/skin_pane.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QWidget>

#include "skin/skin_label.h"
#include "skin/skin_theme.h"

void PaintPaneHeader(QPainter& painter, const QWidget* pane, const QString& caption) {
    const QRect face = pane->rect();
    painter.fillRect(face, Qt::white);
    const QRect header(0, 0, pane->width(), kPaneHeaderHeight);
    QLinearGradient g(header.topLeft(), header.bottomLeft());
    g.setColorAt(0, CSkinTheme::Color(ESkinColor::kTitleTop));
    g.setColorAt(1, CSkinTheme::Color(ESkinColor::kTitleBottom));
    painter.fillRect(header, g);
    painter.setPen(CSkinTheme::Color(ESkinColor::kTitleText));
    painter.setFont(CSkinTheme::UiFont(14, true));
    painter.drawText(header.adjusted(16, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, caption);
    painter.setPen(CSkinTheme::Color(ESkinColor::kControlBorder));
    painter.drawRect(face.adjusted(0, 0, -1, -1));
}

void PaintPaneHeading(QPainter& painter, const QRect& band, const QString& heading) {
    painter.setFont(CSkinTheme::UiFont(16, true));
    painter.setPen(CSkinTheme::Color(ESkinColor::kAccent));
    painter.drawText(band, Qt::AlignLeft | Qt::AlignVCenter, heading);
}

bool SwallowEnterAndEscape(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return true;
        default:
            return false;
    }
}

QGridLayout* NewPaneForm(QWidget* pane, int rightMargin, int bottomMargin) {
    auto* grid = new QGridLayout(pane);
    grid->setContentsMargins(16, kPaneHeaderHeight + 14, rightMargin, bottomMargin);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    grid->setColumnStretch(1, 1);
    return grid;
}

void AddFormRow(QGridLayout* form, int row, const QString& label, QWidget* field, bool multiLine) {
    auto* text = new CZPSkinLabel(label, form->parentWidget());
    if (multiLine) {
        form->addWidget(text, row, 0, Qt::AlignTop | Qt::AlignLeft);
        form->addWidget(field, row, 1);
        form->setRowStretch(row, 1);
    } else {
        form->addWidget(text, row, 0);
        form->addWidget(field, row, 1);
    }
}
