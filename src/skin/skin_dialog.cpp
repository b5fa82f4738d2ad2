#include "skin/skin_dialog.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "skin/skin_theme.h"

namespace {
constexpr int kBoxWidth = 32;
}

CZPSkinDialog::CZPSkinDialog(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(CSkinTheme::Caption());
    setFont(CSkinTheme::UiFont(12));

    m_minimiseBox = new CZPSkinButton(QString(), m_minimiseCode, this);
    m_minimiseBox->SetKind(CZPSkinButton::EKind::kCaption);
    m_minimiseBox->SetPicture(QStringLiteral("minimise"), QSize(16, 16));
    m_minimiseBox->setToolTip(QStringLiteral("最小化"));

    m_closeBox = new CZPSkinButton(QString(), m_closeCode, this);
    m_closeBox->SetKind(CZPSkinButton::EKind::kClose);
    m_closeBox->SetPicture(QStringLiteral("close"), QSize(16, 16));
    m_closeBox->setToolTip(QStringLiteral("关闭"));

    PlaceCaptionBoxes();
}

void CZPSkinDialog::SetCaptionCodes(int minimiseCode, int closeCode) {
    m_minimiseCode = minimiseCode;
    m_closeCode = closeCode;
    m_minimiseBox->SetCode(minimiseCode);
    m_closeBox->SetCode(closeCode);
}

void CZPSkinDialog::SetTitleHeight(int height) {
    m_titleHeight = qMax(0, height);
    PlaceCaptionBoxes();
    update();
}

void CZPSkinDialog::SetMinimiseBoxVisible(bool visible) {
    m_minimiseBox->setVisible(visible);
    PlaceCaptionBoxes();
}

QRect CZPSkinDialog::BodyRect() const {
    return rect().adjusted(1, m_titleHeight > 0 ? m_titleHeight : 1, -1, -1);
}

void CZPSkinDialog::CentreOverParent() {
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    QRect area;
    if (owner && owner->isVisible()) {
        area = owner->frameGeometry();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (!area.isValid()) return;
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void CZPSkinDialog::OnSkinButton(int code) {
    if (code == m_closeCode) {
        reject();
    } else if (code == m_minimiseCode) {
        showMinimized();
    }
}

bool CZPSkinDialog::CanDrag() const { return !isMaximized() && !isFullScreen(); }

void CZPSkinDialog::PaintBody(QPainter& painter, const QRect& body) {
    painter.fillRect(body, CSkinTheme::Color(ESkinColor::kWindow));
}

void CZPSkinDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    PaintBody(painter, BodyRect());

    if (m_titleHeight > 0) {
        const QRect title(0, 0, width(), m_titleHeight);
        QLinearGradient gradient(title.topLeft(), title.bottomLeft());
        gradient.setColorAt(0, CSkinTheme::Color(ESkinColor::kTitleTop));
        gradient.setColorAt(1, CSkinTheme::Color(ESkinColor::kTitleBottom));
        painter.fillRect(title, gradient);

        const int iconSize = qMin(20, m_titleHeight - 8);
        const QRect iconRect(8, (m_titleHeight - iconSize) / 2, iconSize, iconSize);
        CSkinTheme::Paint(painter, iconRect, QStringLiteral("app"));

        int right = width() - 4;
        if (m_closeBox->isVisible()) right = m_closeBox->x();
        if (m_minimiseBox->isVisible()) right = m_minimiseBox->x();
        const QRect textRect(iconRect.right() + 6, 0, right - iconRect.right() - 10, m_titleHeight);
        painter.setPen(CSkinTheme::Color(ESkinColor::kTitleText));
        painter.setFont(CSkinTheme::UiFont(12, true));
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, windowTitle());
    }

    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(CSkinTheme::Color(ESkinColor::kBorder));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CZPSkinDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceCaptionBoxes();
}

void CZPSkinDialog::PlaceCaptionBoxes() {
    const int height = m_titleHeight > 0 ? m_titleHeight - 1 : kDefaultTitleHeight - 1;
    int x = width() - 1 - kBoxWidth;
    m_closeBox->setGeometry(x, 1, kBoxWidth, height);
    x -= kBoxWidth;
    m_minimiseBox->setGeometry(x, 1, kBoxWidth, height);
}

void CZPSkinDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && CanDrag()) {
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - pos();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CZPSkinDialog::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CZPSkinDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}
