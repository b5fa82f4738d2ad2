#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>

namespace kavo {
class CKavoTcpClient;
}
class CTrayIcon;
class CZPMainDlg;
class CZPMenu;
class QDialog;

// The command layer of the main window: the toolbar and its four menus, the window buttons
// that hide it, the notification-area icon and menu, and every command behind them (store
// and restore, imports, print, log in again, the group manager, statistics, history,
// personal information, about, registration, recharge, exit).
//
// Install() puts it behind the main window's command handler (toolbar 23-27, buttons 8 and
// 10, the restore the contacts view offers) and adds the icon.
class CZPMainCommands : public QObject {
    Q_OBJECT

public:
    explicit CZPMainCommands(CZPMainDlg* main);
    CZPMainCommands(CZPMainDlg* main, kavo::CKavoTcpClient& client);
    ~CZPMainCommands() override;

    void Install();

    // A code of the main window's command handler; true when taken.
    bool OnCode(int code);
    // A menu command, by identifier (toolbar and notification-area menus).
    void OnCommand(int id);
    // A command of the notification-area menu: ignored while a modal window runs.
    void OnTrayCommand(int id);

    void Store();
    void Restore();
    void ImportWindowsAddressBook();
    void ImportOutlook();
    void ImportCsv();
    // The contacts of the group on show (after asking) or all of them, to a file.
    void ExportCsv();
    void ExportVCard();
    void LoginAgain();
    void GroupManager();
    void Statistics();
    void History();
    void PersonalInfo();
    void About();
    void Register();
    void Recharge();
    void ShowMainWindow(bool centred);
    void HideToTray();
    void Exit();

    // The menu a toolbar code opens (23, 24, 25, 27), null for others.
    CZPMenu* Menu(int toolbarCode) const;
    CTrayIcon* Tray() const { return m_tray; }

    // ---- seams for tests: how modal windows run, files are chosen and pages opened ----
    void SetDialogRunner(std::function<int(QDialog&)> run) { m_runDialog = std::move(run); }
    void SetFileChooser(std::function<QString(const QString& filter)> choose) {
        m_chooseFile = std::move(choose);
    }
    void SetUrlOpener(std::function<bool(const QUrl&)> open) { m_openUrl = std::move(open); }
    // Asked for a file to write: the filters, and the one chosen (in and out).
    void SetSaveFileChooser(
        std::function<QString(const QString& filters, QString* chosen)> choose) {
        m_chooseSaveFile = std::move(choose);
    }

signals:
    // Emitted when a command has run (tests wait on it).
    void commandDone(int id);

private:
    int Run(QDialog& dialog);
    void PopupMenu(int toolbarCode);
    bool ReconnectOrSay();
    void ImportDone(bool ok, bool cancelled, const std::string& message);
    void Export(bool vcard);

    QPointer<CZPMainDlg> m_main;
    kavo::CKavoTcpClient& m_client;
    CTrayIcon* m_tray = nullptr;
    CZPMenu* m_menus[4] = {};
    std::function<int(QDialog&)> m_runDialog;
    std::function<QString(const QString&)> m_chooseFile;
    std::function<QString(const QString&, QString*)> m_chooseSaveFile;
    std::function<bool(const QUrl&)> m_openUrl;
};
