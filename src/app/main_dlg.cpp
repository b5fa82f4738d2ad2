#include "app/main_dlg.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QBasicTimer>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>
#include <QTreeView>
#include <algorithm>

#include "app/contact_list_model.h"
#include "codecs/gbk_text.h"
#include "dialogs/account_add_dlg.h"
#include "dialogs/account_dlg.h"
#include "dialogs/add_users_dlg.h"
#include "dialogs/message_box.h"
#include "dialogs/message_dlg.h"
#include "dialogs/name_card_dlg.h"
#include "net/result_codes.h"
#include "skin/notice_line.h"
#include "skin/skin_button.h"
#include "skin/skin_edit.h"
#include "skin/skin_label.h"
#include "skin/skin_theme.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "workflows/address_book_sync.h"
#include "workflows/item_editing.h"
#include "workflows/messages.h"
#include "workflows/session.h"

#if __has_include("app/contact_printer.h")
#include "app/contact_printer.h"
#define KAVO_HAS_CONTACT_PRINTER 1
#endif

using kavo::AppState;
using kavo::CListRow;

namespace {

const QColor kPlaceholderColor(72, 101, 140);

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
QString Msg(const char* text) { return QString::fromUtf8(text); }

void Tell(QWidget* owner, const QString& text, int icon) {
    ZPMessageBox(owner, text, icon, kMsgOk);
}

}  // namespace

CZPMainDlg::CZPMainDlg(QWidget* parent)
    : CZPSkinDialog(parent),
      m_clock([] { return kavo::TickCountMs(); }),
      m_windowTimer(std::make_unique<QBasicTimer>()) {
    m_poll.Reset(Now());
    SetCaptionCodes(kCodeMinimise, kCodeClose);
    SetMaximiseCode(kCodeMaximise);
    SetMaximiseBoxVisible(true);
    setWindowIcon(CSkinTheme::Icon(QStringLiteral("app")));
    setWindowTitle(CSkinTheme::Caption());
    BuildWidgets();
}

CZPMainDlg::~CZPMainDlg() { emit destroying(); }

// ---------------------------------------------------------------------------------------------
// Opening and views

int CZPMainDlg::Run() {
    QEventLoop loop;
    QPointer<CZPMainDlg> alive(this);
    connect(this, &QDialog::finished, &loop, [&loop](int result) { loop.exit(result); });
    setResult(0);
    m_running = true;
    show();
    const int result = loop.exec();
    if (alive) m_running = false;
    return result;
}

void CZPMainDlg::Open() {
    if (m_opened) return;
    m_opened = true;
    resize(kWidth, kHeight);
    CentreOverParent();
    m_search->setText(Msg(kavo::msg::kSearchPlaceholder));
    QPalette pal = m_search->palette();
    pal.setColor(QPalette::Text, kPlaceholderColor);
    m_search->setPalette(pal);
    RepaintStatusLine();
    ShowView(kViewContacts);
    RenewNoticeText();
    m_windowTimer->start(kWindowTimerMs, this);
    m_list->setFocus();
}

void CZPMainDlg::showEvent(QShowEvent* event) {
    CZPSkinDialog::showEvent(event);
    Open();
}

void CZPMainDlg::ShowView(int view) {
    if (view == kViewContacts) {
        ShowContactsView();
    } else if (view == kViewSms || view == kViewAccounts) {
        ShowListView(view);
    }
}

void CZPMainDlg::ShowContactsView() {
    OfferToSavePendingEdits();
    m_state.SetView(kViewContacts);
    UpdateViewButtons();
    auto& state = AppState();
    state.ContactList.clear();
    kavo::CDataAccess().LoadContacts(state.ContactList);
    const bool offerDownload =
        state.LoginMode == 2 && state.ContactList.empty() && state.ServerStats.Contacts.Count != 0;
    m_state.ClampGroups(static_cast<int>(state.GroupNames.size()));
    UpdateTabs();
    if (m_state.SelectedGroup() == 0) {
        // The list of every contact was loaded just now.
        FillRows(kavo::ContactRows(state.ContactList));
    } else {
        FillGroup(m_state.SelectedGroup());
    }
    // The list is filled first, so it never shows another view's rows while the download
    // runs; the restore merges and shows the contacts view again when it is done.
    if (offerDownload && ZPMessageBox(this, Msg(kavo::msg::kAskDownloadContacts), kMsgIconQuestion,
                                      kMsgYesNo) == kIdYes) {
        ResetNoticePollBase();
        if (m_commandHandler) m_commandHandler(kCommandRestore);
    }
}

void CZPMainDlg::ShowListView(int view) {
    OfferToSavePendingEdits();
    m_state.SetView(view);
    m_state.Slot().tab = 0;
    m_state.Slot().firstGroup = 0;
    UpdateViewButtons();
    UpdateTabs();
    const auto& state = AppState();
    FillRows(view == kViewSms ? kavo::SmsRows(state.SmsList)
                              : kavo::AccountRows(state.AccountList));
}

void CZPMainDlg::UpdateViewButtons() {
    const int view = m_state.View();
    m_viewButtons[0]->setChecked(view == kViewContacts);
    m_viewButtons[1]->setChecked(view == kViewSms);
    m_viewButtons[2]->setChecked(view == kViewAccounts);
    m_nameCard->setVisible(view == kViewContacts || view == kViewNone);
    m_smsPanel->setVisible(view == kViewSms);
    m_accountPanel->setVisible(view == kViewAccounts);
}

void CZPMainDlg::UpdateTabs() {
    const std::vector<std::string> labels = m_state.TabLabels(AppState().GroupNames);
    for (int k = 0; k < 3; ++k) {
        m_tabs[k]->setText(Utf8(labels[static_cast<std::size_t>(k)]));
        m_tabs[k]->setVisible(!labels[static_cast<std::size_t>(k)].empty());
        m_tabs[k]->setChecked(k == m_state.Slot().tab);
    }
}

QStringList CZPMainDlg::TabLabels() const {
    QStringList labels;
    for (const CZPSkinButton* tab : m_tabs)
        if (!tab->isHidden()) labels << tab->text();
    return labels;
}

void CZPMainDlg::FillGroup(int group) {
    const auto& groups = AppState().GroupNames;
    if (group < 0 || group >= static_cast<int>(groups.size())) return;
    std::vector<kavo::CRelData> contacts;
    kavo::CDataAccess().LoadContacts(contacts, groups[static_cast<std::size_t>(group)]);
    FillRows(kavo::ContactRows(contacts));
}

void CZPMainDlg::FillRows(std::vector<CListRow> rows) {
    m_showingRow = true;
    m_model->SetRows(std::move(rows));
    m_showingRow = false;
    const int count = static_cast<int>(m_model->Rows().size());
    int row = m_state.Slot().row;
    if (row < 0 && count > 0) row = 0;
    if (row >= count) row = count - 1;
    ShowRow(row);
}

const std::vector<CListRow>& CZPMainDlg::Rows() const { return m_model->Rows(); }

void CZPMainDlg::ShowRow(int row) {
    const auto& rows = m_model->Rows();
    const bool valid = row >= 0 && row < static_cast<int>(rows.size());
    m_state.Slot().row = valid ? row : -1;
    switch (m_state.View()) {
        case kViewSms: {
            kavo::CSmsData sms;
            if (valid)
                kavo::CDataAccess().FindSms(
                    std::to_string(rows[static_cast<std::size_t>(row)].data), sms);
            m_smsPanel->Fill(sms);
            break;
        }
        case kViewAccounts: {
            kavo::CAccountData account;
            if (valid)
                kavo::CDataAccess().FindAccount(
                    kavo::Utf8ToGbk(rows[static_cast<std::size_t>(row)].name), account);
            m_accountPanel->SetRecord(account);
            m_accountPanel->SetModified(false);
            break;
        }
        default: {
            kavo::CRelData rel;
            if (valid && !rows[static_cast<std::size_t>(row)].name.empty()) {
                const CListRow& r = rows[static_cast<std::size_t>(row)];
                kavo::CDataAccess().LoadContact(kavo::Utf8ToGbk(r.name), kavo::Utf8ToGbk(r.mobile1),
                                                rel);
            }
            m_nameCard->Fill(rel);
            m_nameCard->SetModified(false);
            m_nameCard->SelectPage(CZPNameCardDlg::kPageBase);
            break;
        }
    }
    if (!valid) return;
    m_showingRow = true;
    const QModelIndex index = m_model->index(row, 0);
    m_list->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->scrollTo(index);
    m_showingRow = false;
    m_list->setFocus();
}

void CZPMainDlg::OnCurrentRowChanged(int row) {
    if (m_showingRow || row < 0 || row == m_state.Slot().row) return;
    OfferToSavePendingEdits();
    ShowRow(row);
}

void CZPMainDlg::SelectRowByUser(int row) {
    m_list->selectionModel()->setCurrentIndex(
        m_model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CZPMainDlg::SelectRows(const std::vector<int>& rows) {
    QItemSelection selection;
    for (int r : rows) selection.select(m_model->index(r, 0), m_model->index(r, 2));
    m_showingRow = true;
    m_list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    m_showingRow = false;
}

QString CZPMainDlg::SelectionMarkName() const {
    const QModelIndex current = m_list->selectionModel()->currentIndex();
    if (!current.isValid() || !m_list->selectionModel()->isRowSelected(current.row())) return {};
    return Utf8(m_model->Rows()[static_cast<std::size_t>(current.row())].name);
}

// ---------------------------------------------------------------------------------------------
// Pending edits, Save, New, Delete

void CZPMainDlg::OfferToSavePendingEdits() {
    if (m_nameCard->IsModified()) {
        if (ZPMessageBox(this, Msg(kavo::msg::kAskSaveContact), kMsgIconQuestion, kMsgYesNo) ==
            kIdYes) {
            SaveContact();
            AppState().ContactsChanged = true;
        } else {
            m_nameCard->SetModified(false);
        }
    }
    if (m_accountPanel->IsModified()) {
        if (ZPMessageBox(this, Msg(kavo::msg::kAskSaveAccount), kMsgIconQuestion, kMsgYesNo) ==
            kIdYes) {
            SaveAccount();
        } else {
            m_accountPanel->SetModified(false);
        }
    }
}

void CZPMainDlg::Save() {
    if (m_state.View() == kViewContacts) {
        SaveContact();
    } else if (m_state.View() == kViewAccounts) {
        SaveAccount();
    }
}

void CZPMainDlg::SaveContact() {
    if (!m_nameCard->IsModified()) return;
    kavo::CRelData rel;
    m_nameCard->Gather(rel);
    const int row = m_state.SlotOf(kViewContacts).row;
    const bool contactsShown = m_state.View() == kViewContacts;
    const CListRow* selected = contactsShown ? SelectedRowOf(kViewContacts) : nullptr;
    const kavo::EditResult result = kavo::SaveEditedContact(rel, selected);
    if (result != kavo::EditResult::kDone) {
        Tell(this, Utf8(kavo::EditResultMessage(result, kavo::ServerClient())), kMsgIconError);
        return;
    }
    if (contactsShown) PutSavedRow(selected, row, kavo::ContactRow(rel));
    m_nameCard->SetModified(false);
    Tell(this, Msg(kavo::msg::kContactSaved), kMsgIconSuccess);
}

const CListRow* CZPMainDlg::SelectedRowOf(int view) {
    const int row = m_state.SlotOf(view).row;
    const auto& rows = m_model->Rows();
    return row >= 0 && row < static_cast<int>(rows.size()) ? &rows[static_cast<std::size_t>(row)]
                                                           : nullptr;
}

void CZPMainDlg::PutSavedRow(const CListRow* selected, int row, CListRow saved) {
    if (selected) {
        m_model->SetRow(row, std::move(saved));
        return;
    }
    // A new item: its row goes at the end and becomes the selection, without showing it
    // again over what the panel already holds.
    m_model->AppendRow(std::move(saved));
    m_state.Slot().row = static_cast<int>(m_model->Rows().size()) - 1;
    m_showingRow = true;
    m_list->selectionModel()->setCurrentIndex(
        m_model->index(m_state.Slot().row, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_showingRow = false;
}

void CZPMainDlg::SaveAccount() {
    if (!m_accountPanel->IsModified()) return;
    m_accountPanel->SetModified(false);
    const kavo::CAccountData account = m_accountPanel->GetRecord();
    const int row = m_state.SlotOf(kViewAccounts).row;
    const bool accountsShown = m_state.View() == kViewAccounts;
    const CListRow* selected = accountsShown ? SelectedRowOf(kViewAccounts) : nullptr;
    bool isNew = false;
    const kavo::EditResult result =
        kavo::SaveEditedAccount(account, selected, kavo::ServerClient(), &isNew);
    if (result == kavo::EditResult::kOffline) return;
    if (result != kavo::EditResult::kDone) {
        Tell(this, Utf8(kavo::EditResultMessage(result, kavo::ServerClient())), kMsgIconError);
        return;
    }
    if (accountsShown) PutSavedRow(selected, row, kavo::AccountRow(account));
    Tell(this, Msg(kavo::msg::kAccountSaved), kMsgIconSuccess);
}

void CZPMainDlg::New() {
    OfferToSavePendingEdits();
    auto& client = kavo::ServerClient();
    switch (m_state.View()) {
        case kViewContacts: {
            // The group of the selected tab, also when the strip is scrolled.
            CZPAddUsersDlg dialog(m_state.SelectedGroup(), this);
            if (dialog.exec() != QDialog::Accepted) break;
            kavo::CRelData rel;
            dialog.Record(rel);
            if (!kavo::InsertNewContact(rel)) {
                Tell(this, Msg(kavo::msg::kAddContactFailed), kMsgIconError);
                break;
            }
            m_model->AppendRow(kavo::ContactRow(rel));
            ShowRow(static_cast<int>(m_model->Rows().size()) - 1);
            break;
        }
        case kViewSms:
            Tell(this, Msg(kavo::msg::kUsePhoneForSms), kMsgIconError);
            break;
        case kViewAccounts: {
            ResetNoticePollBase();
            if (!kavo::Reconnect(client)) return;
            CZPAccountAddDlg dialog(this);
            if (dialog.exec() != QDialog::Accepted) break;
            bool listed = false;
            if (kavo::AddNewAccount(dialog.Record(), client, &listed) != kavo::EditResult::kDone) {
                Tell(this, Utf8(kavo::ResultMessage(client.LastError())), kMsgIconError);
                break;
            }
            if (listed) {
                m_model->AppendRow(kavo::AccountRow(dialog.Record()));
                ShowRow(static_cast<int>(m_model->Rows().size()) - 1);
            }
            break;
        }
        default:
            return;
    }
    AfterServerChange();
}

void CZPMainDlg::Delete() {
    OfferToSavePendingEdits();
    std::vector<int> marked;
    for (const QModelIndex& index : m_list->selectionModel()->selectedRows())
        marked.push_back(index.row());
    if (!marked.empty()) {
        const bool online = AppState().LoginMode == 2;
        const int answer = ZPMessageBox(this, Msg(kavo::msg::kChooseDelete), kMsgIconQuestion,
                                        online ? kMsgDeleteChoice : kMsgDeleteCancel);
        if (answer != kIdYes && answer != kIdNo) return;
        const bool permanent = answer == kIdNo;
        if (permanent) {
            if (!kavo::Reconnect(kavo::ServerClient())) return;
            ResetNoticePollBase();
        }
        std::sort(marked.begin(), marked.end());
        DeleteRows(permanent, std::move(marked));
    }
    AfterServerChange();
}

void CZPMainDlg::DeleteRows(bool permanent, std::vector<int> marked) {
    auto& client = kavo::ServerClient();
    int removed = 0;
    int lastPosition = -1;
    bool contactDeleted = false;
    for (int original : marked) {
        const int at = original - removed;
        lastPosition = at;
        const CListRow row = m_model->Rows()[static_cast<std::size_t>(at)];
        bool done = false;
        switch (m_state.View()) {
            case kViewContacts:
                done = kavo::DeleteContactRow(row, permanent, client);
                contactDeleted = contactDeleted || done;
                break;
            case kViewSms:
                // The row carries its SMS id; a gathered list no longer has SmsList's order.
                done = kavo::DeleteSmsRow(row.data, permanent, client);
                break;
            case kViewAccounts:
                done = kavo::DeleteAccountRow(row, permanent, client);
                break;
            default:
                return;
        }
        if (!done) {
            // The server refused: the row stays, the others go on.
            Tell(this, Utf8(kavo::ResultMessage(client.LastError())), kMsgIconError);
            continue;
        }
        m_showingRow = true;
        m_model->RemoveRow(at);
        m_showingRow = false;
        ++removed;
    }
    // A contact deleted here alone differs from the server's copy now.
    if (contactDeleted && !permanent) AppState().ContactsChanged = true;
    const int count = static_cast<int>(m_model->Rows().size());
    if (lastPosition >= count) lastPosition = count - 1;
    m_state.Slot().row = -1;
    ShowRow(lastPosition);
}

void CZPMainDlg::AfterServerChange() {
    kavo::RefreshServerStats(kavo::ServerClient());
    RepaintStatusLine();
}

// ---------------------------------------------------------------------------------------------
// Search, groups, merge

void CZPMainDlg::SearchCommand(bool fromButton) {
    if (fromButton) OfferToSavePendingEdits();
    const QString text = m_search->text();
    if (fromButton && (text.isEmpty() || text == Msg(kavo::msg::kSearchPlaceholder))) {
        Tell(this, Msg(kavo::msg::kEnterSearchText), kMsgIconError);
        return;
    }
    if (text.isEmpty()) return;
    const bool found = Search(text, true, false);
    Tell(this, Msg(found ? kavo::msg::kSearchDone : kavo::msg::kSearchNothing), kMsgIconNotice);
}

bool CZPMainDlg::Search(const QString& text, bool gather, bool exact) {
    const std::string needle = text.toStdString();
    if (gather) {
        std::vector<CListRow> rows = m_model->Rows();
        if (kavo::GatherRows(rows, needle, exact) == 0) return false;
        m_state.Slot().row = 0;
        m_showingRow = true;
        m_model->SetRows(std::move(rows));
        m_showingRow = false;
        ShowRow(0);
        return true;
    }
    const int found = kavo::FindNextRow(m_model->Rows(), m_state.Slot().row, needle, exact);
    if (found < 0) return false;
    m_showingRow = true;
    m_list->selectionModel()->clearSelection();
    m_showingRow = false;
    ShowRow(found);
    return true;
}

void CZPMainDlg::MergeContacts() {
    kavo::MergeContacts(AppState().ContactList);
    ShowMergedContacts();
}

void CZPMainDlg::ShowMergedContacts() {
    const QString remembered = SelectionMarkName();
    ShowView(kViewContacts);
    if (!remembered.isEmpty()) Search(remembered, false, true);
    AfterServerChange();
}

void CZPMainDlg::ResetViews() {
    m_state = kavo::CMainViewState();
    ShowView(kViewContacts);
}

void CZPMainDlg::Refresh(bool withLabels) {
    if (m_state.View() != kViewContacts) return;
    if (withLabels) {
        m_state.ClampGroups(static_cast<int>(AppState().GroupNames.size()));
        UpdateTabs();
    }
    // "全部" is refilled too: the group manager may have deleted contacts with a group.
    FillGroup(m_state.SelectedGroup());
}

// ---------------------------------------------------------------------------------------------
// Status line, notice line, timer

void CZPMainDlg::RepaintStatusLine() {
    m_statusLine->setText(Utf8(kavo::StatusLineText()));
    m_userLabel->setText(Msg(kavo::msg::kUserNameLabel) +
                         Utf8(kavo::GbkToUtf8(AppState().CurrentUserName())));
    update();
}

QString CZPMainDlg::StatusText() const { return m_statusLine->text(); }
QString CZPMainDlg::UserLabelText() const { return m_userLabel->text(); }

void CZPMainDlg::ResetNoticePollBase() { m_poll.Reset(Now()); }

void CZPMainDlg::OnNoticeLineNeedsText() { RenewNoticeText(); }

void CZPMainDlg::RenewNoticeText() {
    if (AppState().LoginMode == 1) {
        m_notice->SetText(Msg(kavo::msg::kOfflineNotice));
    } else {
        m_notice->SetText(Utf8(kavo::GbkToUtf8(kavo::CDataAccess().NextNoticeText())));
    }
}

void CZPMainDlg::SetClock(std::function<std::uint64_t()> clock) {
    m_clock = std::move(clock);
    m_poll.Reset(Now());
}

std::uint64_t CZPMainDlg::Now() const { return m_clock(); }

void CZPMainDlg::OnWindowTimer() {
    auto& client = kavo::ServerClient();
    // Any window modal over this one may be a progress window whose worker uses the
    // connection between its requests: neither poll nor check until it has closed.
    const QWidget* modal = QApplication::activeModalWidget();
    const bool otherWindow = modal && modal != this;
    bool alive = false;
    const bool busy = otherWindow || !client.TryIsConnected(&alive);
    switch (m_poll.Tick(Now(), AppState().LoginMode, busy, alive)) {
        case kavo::ETimerStep::kPollNotices:
            PollNotices();
            break;
        case kavo::ETimerStep::kDropOffline:
            AppState().LoginMode = 1;
            RenewNoticeText();
            break;
        case kavo::ETimerStep::kNothing:
            break;
    }
}

void CZPMainDlg::PollNotices() {
    std::vector<kavo::CMsgData> notices;
    if (kavo::ServerClient().DownloadNotices(notices)) AppState().NoticeList = std::move(notices);
}

void CZPMainDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_windowTimer->timerId()) {
        OnWindowTimer();
        return;
    }
    CZPSkinDialog::timerEvent(event);
}

// ---------------------------------------------------------------------------------------------
// Buttons, keys, mouse

void CZPMainDlg::SetPrintHandler(std::function<void(QWidget*, const kavo::CRelData&)> print) {
    m_print = std::move(print);
}

void CZPMainDlg::SetCommandHandler(std::function<bool(int)> handler) {
    m_commandHandler = std::move(handler);
}

bool CZPMainDlg::OnToolbarCommand(int code) {
    emit toolbarCommand(code);
    return m_commandHandler && m_commandHandler(code);
}

void CZPMainDlg::PrintCurrentContact() {
    OfferToSavePendingEdits();
    if (m_state.View() != kViewContacts) return;
    kavo::CRelData rel;
    m_nameCard->Gather(rel);
    if (m_print) {
        m_print(this, rel);
        return;
    }
#ifdef KAVO_HAS_CONTACT_PRINTER
    CZPContactPrinter::PrintCurrentContact(this, [rel] { return rel; });
#endif
}

void CZPMainDlg::OnSkinButton(int code) {
    switch (code) {
        case kCodeClose:
        case kCodeMinimise:
            // Hiding to the notification area belongs to the tray; without it, close ends
            // the window and minimise minimises.
            if (OnToolbarCommand(code)) return;
            if (code == kCodeClose) {
                OfferToSavePendingEdits();
                accept();
            } else {
                showMinimized();
            }
            return;
        case kCodeMaximise:
            ToggleMaximised();
            return;
        case kCodeSearch:
            SearchCommand(true);
            return;
        case kCodeNew:
            New();
            return;
        case kCodeDelete:
            Delete();
            return;
        case kCodePrint:
            PrintCurrentContact();
            return;
        case kCodeGroupPrevious:
        case kCodeGroupNext: {
            if (m_state.View() != kViewContacts) return;
            OfferToSavePendingEdits();
            const int groups = static_cast<int>(AppState().GroupNames.size());
            const bool moved =
                code == kCodeGroupPrevious ? m_state.PreviousGroup() : m_state.NextGroup(groups);
            if (!moved) return;
            UpdateTabs();
            m_state.Slot().row = -1;
            FillGroup(m_state.SelectedGroup());
            return;
        }
        case kCodeTab0:
        case kCodeTab0 + 1:
        case kCodeTab0 + 2: {
            OfferToSavePendingEdits();
            const int k = code - kCodeTab0;
            if (!m_state.SelectTab(k, static_cast<int>(AppState().GroupNames.size()))) {
                UpdateTabs();
                return;
            }
            UpdateTabs();
            m_state.Slot().row = -1;
            if (m_state.View() == kViewContacts) {
                FillGroup(m_state.SelectedGroup());
            } else {
                ShowView(m_state.View());
            }
            return;
        }
        case kCodeViewContacts:
        case kCodeViewSms:
        case kCodeViewAccounts: {
            const int view = code == kCodeViewContacts ? kViewContacts
                             : code == kCodeViewSms    ? kViewSms
                                                       : kViewAccounts;
            if (m_state.View() != view) ShowView(view);
            // A click toggles the checkable button; the current view's stays marked.
            UpdateViewButtons();
            return;
        }
        default:
            if (code >= kCodeToolbarFirst && code <= kCodeToolbarLast) {
                OnToolbarCommand(code);
                return;
            }
            CZPSkinDialog::OnSkinButton(code);
    }
}

void CZPMainDlg::closeEvent(QCloseEvent* event) {
    // The desktop's own close (Alt+F4, the task bar) does what the close box does: with the
    // command layer the window goes to the notification area, and only "退出" ends the program.
    if (OnToolbarCommand(kCodeClose)) {
        event->ignore();
        return;
    }
    CZPSkinDialog::closeEvent(event);
}

void CZPMainDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            QWidget* focus = focusWidget();
            if (focus == m_search ||
                (focus && focus->objectName() == QLatin1String("SearchButton")))
                SearchCommand(false);
            event->accept();
            return;
        }
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            CZPSkinDialog::keyPressEvent(event);
    }
}

bool CZPMainDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_search) {
        const QString placeholder = Msg(kavo::msg::kSearchPlaceholder);
        if (event->type() == QEvent::FocusIn && m_search->text() == placeholder) {
            m_search->clear();
            QPalette pal = m_search->palette();
            pal.setColor(QPalette::Text, CSkinTheme::Color(ESkinColor::kText));
            m_search->setPalette(pal);
        } else if (event->type() == QEvent::FocusOut && m_search->text().trimmed().isEmpty()) {
            m_search->setText(placeholder);
            QPalette pal = m_search->palette();
            pal.setColor(QPalette::Text, kPlaceholderColor);
            m_search->setPalette(pal);
        }
    }
    return CZPSkinDialog::eventFilter(watched, event);
}

void CZPMainDlg::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && event->position().y() < kMaximiseStripHeight) {
        ToggleMaximised();
        event->accept();
        return;
    }
    CZPSkinDialog::mouseDoubleClickEvent(event);
}

void CZPMainDlg::changeEvent(QEvent* event) {
    CZPSkinDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        m_layoutState = isMaximized() ? QStringLiteral("Max") : QStringLiteral("Restore");
}
