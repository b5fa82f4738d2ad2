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

    m_maximiseBox = new CZPSkinButton(QString(), m_maximiseCode, this);
    m_maximiseBox->SetKind(CZPSkinButton::EKind::kCaption);
    m_maximiseBox->SetPicture(QStringLiteral("maximise"), QSize(16, 16));
    m_maximiseBox->setToolTip(QStringLiteral("最大化"));
    m_maximiseBox->hide();

    m_closeBox = new CZPSkinButton(QString(), m_closeCode, this);
    m_closeBox->SetKind(CZPSkinButton::EKind::kClose);
    m_closeBox->SetPicture(QStringLiteral("close"), QSize(16, 16));
    m_closeBox->setToolTip(QStringLiteral("关闭"));

    setContentsMargins(1, m_titleHeight, 1, 1);
    PlaceCaptionBoxes();
}

void CZPSkinDialog::SetCaptionCodes(int minimiseCode, int closeCode) {
    m_minimiseCode = minimiseCode;
    m_closeCode = closeCode;
    m_minimiseBox->SetCode(minimiseCode);
    m_closeBox->SetCode(closeCode);
}

void CZPSkinDialog::SetMaximiseCode(int code) {
    m_maximiseCode = code;
    m_maximiseBox->SetCode(code);
}

void CZPSkinDialog::SetTitleHeight(int height) {
    m_titleHeight = qMax(0, height);
    setContentsMargins(1, qMax(1, m_titleHeight), 1, 1);
    PlaceCaptionBoxes();
    update();
}

void CZPSkinDialog::SetMinimiseBoxVisible(bool visible) {
    m_minimiseBox->setVisible(visible);
    PlaceCaptionBoxes();
}

void CZPSkinDialog::SetMaximiseBoxVisible(bool visible) {
    m_maximiseBox->setVisible(visible);
    PlaceCaptionBoxes();
}

void CZPSkinDialog::ToggleMaximised() {
    if (isMaximized()) {
        showNormal();
    } else {
        showMaximized();
    }
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

void CZPSkinDialog::showEvent(QShowEvent* event) {
    if (windowRole().isEmpty()) setWindowRole(QString::fromLatin1(metaObject()->className()));
    QDialog::showEvent(event);
}

void CZPSkinDialog::OnSkinButton(int code) {
    if (code == m_closeCode) {
        reject();
    } else if (code == m_minimiseCode) {
        showMinimized();
    } else if (code == m_maximiseCode) {
        ToggleMaximised();
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
        for (const CZPSkinButton* box : {m_closeBox, m_maximiseBox, m_minimiseBox}) {
            if (!box->isHidden()) right = qMin(right, box->x());
        }
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

void CZPSkinDialog::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        const bool maximised = isMaximized();
        m_maximiseBox->SetPicture(
            maximised ? QStringLiteral("restore") : QStringLiteral("maximise"), QSize(16, 16));
        m_maximiseBox->setToolTip(maximised ? QStringLiteral("还原") : QStringLiteral("最大化"));
    }
    QDialog::changeEvent(event);
}

void CZPSkinDialog::PlaceCaptionBoxes() {
    // From the right: close, maximise, minimise; a hidden box leaves no gap.
    const int height = m_titleHeight > 0 ? m_titleHeight - 1 : kDefaultTitleHeight - 1;
    int x = width() - 1;
    for (CZPSkinButton* box : {m_closeBox, m_maximiseBox, m_minimiseBox}) {
        if (box->isHidden()) continue;
        x -= kBoxWidth;
        box->setGeometry(x, 1, kBoxWidth, height);
    }
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
