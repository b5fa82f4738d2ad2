#include "app/tray_icon.h"

#include <QCursor>
#include <QWidget>

#include "app/zp_menu.h"
#include "skin/skin_theme.h"

namespace {

std::optional<bool>& AvailableOverride() {
    static std::optional<bool> value;
    return value;
}

constexpr int kBalloonMs = 3000;

}  // namespace

CTrayIcon::CTrayIcon(QWidget* owner) : QObject(owner), m_owner(owner) {
    m_menu = new CZPNotifyMenu(owner);
    m_icon = new QSystemTrayIcon(this);
    m_icon->setIcon(CSkinTheme::Icon(QStringLiteral("tray")));
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, &CTrayIcon::Notification);
    connect(m_menu, &CZPNotifyMenu::commandChosen, this, &CTrayIcon::commandChosen);
}

CTrayIcon::~CTrayIcon() {
    Remove();
    delete m_menu;  // parented to the owner window, which may outlive the icon
}

bool CTrayIcon::Available() {
    if (AvailableOverride()) return *AvailableOverride();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CTrayIcon::SetAvailableForTests(std::optional<bool> available) {
    AvailableOverride() = available;
}

bool CTrayIcon::Add(const QString& text, bool balloon) {
    if (!Available() || !m_owner) return false;
    m_balloon = balloon;
    m_tip = text;
    m_icon->setToolTip(text);
    m_icon->show();
    m_added = true;
    if (balloon) {
        m_balloonText = text;
        m_balloonTitle =
            m_owner->windowTitle().isEmpty() ? CSkinTheme::Caption() : m_owner->windowTitle();
        m_icon->showMessage(m_balloonTitle, text, QSystemTrayIcon::Information, kBalloonMs);
    }
    return true;
}

void CTrayIcon::Remove() {
    if (!m_added) return;
    m_icon->hide();
    m_added = false;
}

void CTrayIcon::Notification(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            emit showRequested();
            break;
        case QSystemTrayIcon::Context:
            // Qt shows the context menu itself where the platform asks for it.
            break;
        default:
            break;
    }
}
