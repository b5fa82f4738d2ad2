// The main window: the list of contacts, SMS or game accounts on the left, the selected item
// in the right pane (contact editor, SMS view, account panel), the group tabs, the search
// box, the toolbar, the scrolling notice line and the status line.
//
// The window is thin: the rows, the search, Save/New/Delete, the merge, the view and tab
// state and the timer's decisions live in src/workflows, which kavoctl and the tests share.
#pragma once

#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "skin/skin_dialog.h"
#include "workflows/list_rows.h"
#include "workflows/main_view_state.h"

class QBasicTimer;
class QLabel;
class QLineEdit;
class QTreeView;
class QWidget;
class CContactListModel;
class CZPAccountDlg;
class CZPMessageDlg;
class CZPNameCardDlg;
class CZPNoticeLine;
class CZPSkinButton;

class CZPMainDlg : public CZPSkinDialog {
    Q_OBJECT
public:
    enum EView : int { kViewNone = -1, kViewContacts = 0, kViewSms = 1, kViewAccounts = 2 };

    // The codes of the window's skinned buttons.
    static constexpr int kCodeClose = 8;
    static constexpr int kCodeMaximise = 9;
    static constexpr int kCodeMinimise = 10;
    static constexpr int kCodeSearch = 11;
    static constexpr int kCodeNew = 12;
    static constexpr int kCodeDelete = 13;
    static constexpr int kCodePrint = 14;
    static constexpr int kCodeGroupPrevious = 15;
    static constexpr int kCodeGroupNext = 16;
    static constexpr int kCodeTab0 = 17;  // 18, 19: tabs 1 and 2
    static constexpr int kCodeViewContacts = 20;
    static constexpr int kCodeViewAccounts = 21;
    static constexpr int kCodeViewSms = 22;
    static constexpr int kCodeToolbarFirst = 23;  // store/restore, operations, view,
    static constexpr int kCodeToolbarLast = 27;   // groups, personal

    // The menu command of the restore ("下载通讯录"), handed to the command handler when the
    // contacts view offers the download.
    static constexpr int kCommandRestore = 32774;

    static constexpr int kWidth = 800;
    static constexpr int kHeight = 620;
    static constexpr int kWindowTimerMs = 1000;
    // A double-click this close to the top toggles maximised.
    static constexpr int kMaximiseStripHeight = 54;

    explicit CZPMainDlg(QWidget* parent = nullptr);
    ~CZPMainDlg() override;

    // ---- operations that the commands, the tray menu and the importers call ----

    // Shows the window and runs until done() ends it (the exit command, or the close box
    // where there is no notification area). Hiding it to the notification area does not end
    // the run, unlike QDialog::exec(), and the window is not modal, so the notification
    // area's icon and menu still reach it. Returns the result given to done().
    int Run();
    // Whether Run() is running for this window.
    bool IsRunning() const { return m_running; }

    // The steps after a login: size and centre, placeholder, contacts view, timers, focus.
    // Runs once; showing the window runs it when nobody did before.
    void Open();
    // Shows view v (kViewContacts, kViewSms, kViewAccounts), reloading its list.
    void ShowView(int view);
    // Asks about a modified contact or account and saves or discards it.
    void OfferToSavePendingEdits();
    void Save();
    void New();
    void Delete();
    // The search command (button or Enter): reads the search box.
    void SearchCommand(bool fromButton = true);
    // Searches the current list; gather moves the matches to the top, next selects the
    // next match. True when anything matched.
    bool Search(const QString& text, bool gather = true, bool exact = false);
    // Stores the records of ContactList (restore or import) and shows them.
    void MergeContacts();
    // The window's part of a merge whose records are stored already (an import): the
    // contacts view reloaded, the previously selected name found again, the status line
    // renewed from the server's statistics.
    void ShowMergedContacts();
    // Forgets the current view and the selected row of every view (a login again), then
    // shows the contacts view of the now current user.
    void ResetViews();

    // After the group manager changed groups or contacts.
    void Refresh(bool withLabels);
    void RepaintStatusLine();
    void ResetNoticePollBase();
    void RenewNoticeText();
    // Puts the print function in place (the print button and the operations menu).
    void SetPrintHandler(std::function<void(QWidget* owner, const kavo::CRelData& rel)> print);
    // The toolbar (23-27), the window buttons that leave the window (8, 10) and the restore
    // (kCommandRestore) go to this handler; it returns true when it took the code. Without
    // one, 8 closes the window, 10 minimises it and the toolbar does nothing.
    void SetCommandHandler(std::function<bool(int code)> handler);

    void OnSkinButton(int code) override;

    // ---- the timers (public so tests can drive them without waiting) ----
    void OnWindowTimer();
    void OnNoticeLineNeedsText();
    // The millisecond clock of the notice poll (GetTickCount-like); tests inject their own.
    void SetClock(std::function<std::uint64_t()> clock);

    // ---- what the window shows, for the commands and the tests ----
    int CurrentView() const { return m_state.View(); }
    const kavo::CMainViewState& ViewState() const { return m_state; }
    const std::vector<kavo::CListRow>& Rows() const;
    int SelectedRow() const { return m_state.Slot().row; }
    QStringList TabLabels() const;
    QString StatusText() const;
    QString UserLabelText() const;
    QString LayoutState() const { return m_layoutState; }
    // The first column of the row that has the list's selection mark ("" when none).
    QString SelectionMarkName() const;
    QTreeView* ListView() const { return m_list; }
    QLineEdit* SearchBox() const { return m_search; }
    CZPNameCardDlg* NameCard() const { return m_nameCard; }
    CZPMessageDlg* SmsPanel() const { return m_smsPanel; }
    CZPAccountDlg* AccountPanel() const { return m_accountPanel; }
    CZPNoticeLine* NoticeLine() const { return m_notice; }
    // The user picks row r in the list (what a click does).
    void SelectRowByUser(int row);
    // Selects rows for a Delete (the list allows several).
    void SelectRows(const std::vector<int>& rows);

signals:
    void toolbarCommand(int code);
    // Sent first thing in the destructor, while the window is still whole: objects that
    // hold on to it (its children among them) let go before they are torn down with it.
    void destroying();

protected:
    // The toolbar's hook; the default passes the code to the command handler.
    virtual bool OnToolbarCommand(int code);
    void PaintBody(QPainter& painter, const QRect& body) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildWidgets();
    void ShowContactsView();
    void ShowListView(int view);
    void FillGroup(int group);
    void FillRows(std::vector<kavo::CListRow> rows);
    void ShowRow(int row);
    void UpdateTabs();
    void UpdateViewButtons();
    void OnCurrentRowChanged(int row);
    void SaveContact();
    void PrintCurrentContact();
    void SaveAccount();
    // The selected row of `view`, or nullptr when it has none.
    const kavo::CListRow* SelectedRowOf(int view);
    // A saved item's row: written over the selected one, or added and selected when none was.
    void PutSavedRow(const kavo::CListRow* selected, int row, kavo::CListRow saved);
    void DeleteRows(bool permanent, std::vector<int> marked);
    void AfterServerChange();
    void PollNotices();
    std::uint64_t Now() const;

    kavo::CMainViewState m_state;
    kavo::CNoticePoll m_poll;
    std::function<std::uint64_t()> m_clock;
    std::function<bool(int)> m_commandHandler;
    std::function<void(QWidget*, const kavo::CRelData&)> m_print;
    bool m_opened = false;
    bool m_running = false;
    bool m_showingRow = false;  // list selection changes made by the window itself
    QString m_layoutState = QStringLiteral("Init");

    CContactListModel* m_model = nullptr;
    QTreeView* m_list = nullptr;
    QLineEdit* m_search = nullptr;
    QWidget* m_tabStrip = nullptr;
    CZPSkinButton* m_tabs[3] = {};
    CZPSkinButton* m_viewButtons[3] = {};
    CZPNameCardDlg* m_nameCard = nullptr;
    CZPMessageDlg* m_smsPanel = nullptr;
    CZPAccountDlg* m_accountPanel = nullptr;
    CZPNoticeLine* m_notice = nullptr;
    QLabel* m_userLabel = nullptr;
    QLabel* m_statusLine = nullptr;
    std::unique_ptr<QBasicTimer> m_windowTimer;
};
