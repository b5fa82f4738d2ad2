#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <optional>

#include "app/zp_menu.h"

class QWidget;

// The main window's icon in the notification area, with the notification-area menu. Added
// with a tip, or with a balloon titled with the owner's caption; afterwards the tip is the
// given text either way. A left click asks for the main window (showRequested); the menu's
// items arrive as commandChosen(id).
//
// Some desktops have no notification area. There Add() fails and the main window must be
// minimised instead of hidden, or nothing would bring it back.
class CTrayIcon : public QObject {
    Q_OBJECT

public:
    explicit CTrayIcon(QWidget* owner);
    ~CTrayIcon() override;

    // Whether the desktop has a notification area (tests may decide instead).
    static bool Available();
    static void SetAvailableForTests(std::optional<bool> available);

    bool Add(const QString& text, bool balloon);
    void Remove();
    bool IsAdded() const { return m_added; }
    bool Balloon() const { return m_balloon; }
    QString Tip() const { return m_tip; }
    // The text and title of the last balloon shown.
    QString BalloonText() const { return m_balloonText; }
    QString BalloonTitle() const { return m_balloonTitle; }

    CZPNotifyMenu* Menu() const { return m_menu; }
    QSystemTrayIcon* Icon() const { return m_icon; }

    // What a mouse event on the icon does (the shell's callback).
    void Notification(QSystemTrayIcon::ActivationReason reason);

signals:
    void showRequested();
    void commandChosen(int id);

private:
    QPointer<QWidget> m_owner;
    QSystemTrayIcon* m_icon = nullptr;
    QPointer<CZPNotifyMenu> m_menu;  // parented to the owner, which may delete it first
    bool m_added = false;
    bool m_balloon = false;
    QString m_tip;
    QString m_balloonText;
    QString m_balloonTitle;
};
