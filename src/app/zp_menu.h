#pragma once

#include <QList>
#include <QString>

#include "skin/skin_menu.h"

// One item of a command menu: the identifier the window receives and the caption.
struct SMenuItem {
    int id;
    const char* caption;  // UTF-8
};

// The command identifiers of the toolbar menus and of the notification-area menu.
namespace menu_id {
// "存储还原" (toolbar 23)
inline constexpr int kUpload = 32773;
inline constexpr int kDownload = 32774;
inline constexpr int kImportWindows = 32805;
inline constexpr int kImportOutlook = 32825;
inline constexpr int kImportCsv = 32827;
inline constexpr int kExportCsv = 32828;
inline constexpr int kExportVCard = 32829;
// "操作" (toolbar 24)
inline constexpr int kNew = 32788;
inline constexpr int kSave = 32789;
inline constexpr int kPrint = 32791;
inline constexpr int kDelete = 32792;
inline constexpr int kLoginRegister = 32793;
inline constexpr int kGroupManage = 32795;
// "查看" (toolbar 25)
inline constexpr int kStatistics = 32786;
inline constexpr int kHistory = 32787;
// "个人资料" (toolbar 27)
inline constexpr int kPersonalInfo = 32796;
inline constexpr int kAboutProduct = 32802;
// The notification-area menu
inline constexpr int kNotifyStore = 32819;
inline constexpr int kNotifyRestore = 32816;
inline constexpr int kNotifyPersonal = 32820;
inline constexpr int kNotifyRecharge = 32821;
inline constexpr int kNotifyAbout = 32822;
inline constexpr int kNotifyRegister = 32823;
inline constexpr int kNotifyLogin = 32824;
inline constexpr int kNotifyMainWindow = 32809;
inline constexpr int kNotifyQuit = 32810;
}  // namespace menu_id

// A popup menu whose items carry their command identifiers; choosing one emits
// commandChosen(id). The look is the skin's.
class CZPCommandMenu : public CZPSkinMenu {
    Q_OBJECT

public:
    CZPCommandMenu(const QString& title, const QList<SMenuItem>& items, QWidget* parent);

    QList<int> Ids() const;
    // The action of an item, null when the menu has none with that identifier.
    QAction* Action(int id) const;

signals:
    void commandChosen(int id);
};

// The four toolbar menus of the main window, by the toolbar code that opens them.
class CZPMenu : public CZPCommandMenu {
    Q_OBJECT

public:
    static constexpr int kStoreRestore = 23;
    static constexpr int kOperations = 24;
    static constexpr int kView = 25;
    static constexpr int kPersonal = 27;

    CZPMenu(int toolbarCode, QWidget* parent = nullptr);
    int ToolbarCode() const { return m_code; }

    // The items of the menu opened by a toolbar code (empty for any other code).
    static QList<SMenuItem> Items(int toolbarCode);
    static QString Title(int toolbarCode);

private:
    int m_code;
};

// The notification-area menu.
class CZPNotifyMenu : public CZPCommandMenu {
    Q_OBJECT

public:
    static constexpr int kResourceId = 396;

    explicit CZPNotifyMenu(QWidget* parent = nullptr);
    static QList<SMenuItem> Items();
};
