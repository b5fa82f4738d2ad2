#include "app/main_commands.h"

#include <QApplication>
#include <QDesktopServices>

#include "app/main_dlg.h"
#include "app/tray_icon.h"
#include "app/zp_menu.h"
#include "codecs/gbk_text.h"
#include "dialogs/about_dlg.h"
#include "dialogs/csv_preview_dlg.h"
#include "dialogs/file_dialog.h"
#include "dialogs/group_edit_dlg.h"
#include "dialogs/history_dlg.h"
#include "dialogs/login_dlg.h"
#include "dialogs/message_box.h"
#include "dialogs/personal_info_dlg.h"
#include "dialogs/registe_dlg.h"
#include "dialogs/statistics_dlg.h"
#include "dialogs/waitting_dlg.h"
#include "import/import_messages.h"
#include "skin/skin_button.h"
#include "store/app_state.h"
#include "workflows/address_book_sync.h"
#include "workflows/export_flow.h"
#include "workflows/import_flow.h"
#include "workflows/messages.h"
#include "workflows/session.h"

namespace {

QString Msg(const char* utf8) { return QString::fromUtf8(utf8); }

constexpr int kMenuCodes[4] = {CZPMenu::kStoreRestore, CZPMenu::kOperations, CZPMenu::kView,
                               CZPMenu::kPersonal};

}  // namespace

CZPMainCommands::CZPMainCommands(CZPMainDlg* main) : CZPMainCommands(main, kavo::ServerClient()) {}

CZPMainCommands::CZPMainCommands(CZPMainDlg* main, kavo::CKavoTcpClient& client)
    : QObject(main), m_main(main), m_client(client) {
    // The window deletes this object with its children, when it is no longer a CZPMainDlg.
    connect(main, &CZPMainDlg::destroying, this, [this] { m_main = nullptr; });
    for (int i = 0; i < 4; ++i) {
        m_menus[i] = new CZPMenu(kMenuCodes[i], main);
        connect(m_menus[i], &CZPMenu::commandChosen, this, &CZPMainCommands::OnCommand);
    }
    m_tray = new CTrayIcon(main);
    connect(m_tray, &CTrayIcon::commandChosen, this, &CZPMainCommands::OnTrayCommand);
    connect(m_tray, &CTrayIcon::showRequested, this, [this] { ShowMainWindow(false); });
}

CZPMainCommands::~CZPMainCommands() {
    if (m_main) m_main->SetCommandHandler({});
}

void CZPMainCommands::Install() {
    if (!m_main) return;
    m_main->SetCommandHandler([this](int code) { return OnCode(code); });
    m_tray->Remove();
    m_tray->Add(Msg(kavo::msg::kTrayRunning), false);
}

CZPMenu* CZPMainCommands::Menu(int toolbarCode) const {
    for (int i = 0; i < 4; ++i)
        if (kMenuCodes[i] == toolbarCode) return m_menus[i];
    return nullptr;
}

int CZPMainCommands::Run(QDialog& dialog) {
    return m_runDialog ? m_runDialog(dialog) : dialog.exec();
}

bool CZPMainCommands::OnCode(int code) {
    switch (code) {
        case CZPMainDlg::kCodeClose:
        case CZPMainDlg::kCodeMinimise:
            if (CTrayIcon::Available()) {
                HideToTray();
            } else if (code == CZPMainDlg::kCodeMinimise) {
                // Nothing could bring a hidden window back: the task bar keeps it.
                if (m_main) m_main->showMinimized();
            } else {
                // Nowhere to hide to: the close box is the way out, after its question.
                Exit();
            }
            return true;
        case CZPMenu::kStoreRestore:
            if (m_main) m_main->OfferToSavePendingEdits();
            PopupMenu(code);
            return true;
        case CZPMenu::kOperations:
        case CZPMenu::kView:
        case CZPMenu::kPersonal:
            PopupMenu(code);
            return true;
        case 26:  // the group manager has its own toolbar button
            GroupManager();
            return true;
        case CZPMainDlg::kCommandRestore:
            Restore();
            return true;
        default:
            return false;
    }
}

void CZPMainCommands::PopupMenu(int toolbarCode) {
    CZPMenu* menu = Menu(toolbarCode);
    if (!menu || !m_main) return;
    // Under the button that opened it, aligned to its left edge.
    QPoint at = m_main->mapToGlobal(QPoint(0, m_main->TitleHeight()));
    for (CZPSkinButton* button : m_main->findChildren<CZPSkinButton*>())
        if (button->Code() == toolbarCode && button->isVisible()) {
            at = button->mapToGlobal(button->rect().bottomLeft());
            break;
        }
    menu->popup(at);
}

void CZPMainCommands::OnCommand(int id) {
    using namespace menu_id;
    switch (id) {
        case kUpload:
        case kNotifyStore:
            Store();
            break;
        case kDownload:
        case kNotifyRestore:
            Restore();
            break;
        case kImportWindows:
            ImportWindowsAddressBook();
            break;
        case kImportOutlook:
            ImportOutlook();
            break;
        case kImportCsv:
            ImportCsv();
            break;
        case kExportCsv:
            ExportCsv();
            break;
        case kExportVCard:
            ExportVCard();
            break;
        case kNew:
            if (m_main) m_main->New();
            break;
        case kSave:
            if (m_main) m_main->Save();
            break;
        case kPrint:
            // The print button's own path: offer to save, then print the current contact.
            if (m_main) m_main->OnSkinButton(CZPMainDlg::kCodePrint);
            break;
        case kDelete:
            if (m_main) m_main->Delete();
            break;
        case kLoginRegister:
        case kNotifyLogin:
            LoginAgain();
            break;
        case kGroupManage:
            GroupManager();
            break;
        case kStatistics:
            Statistics();
            break;
        case kHistory:
            History();
            break;
        case kPersonalInfo:
        case kNotifyPersonal:
            PersonalInfo();
            break;
        case kAboutProduct:
        case kNotifyAbout:
            About();
            break;
        case kNotifyRecharge:
            Recharge();
            break;
        case kNotifyRegister:
            Register();
            break;
        case kNotifyMainWindow:
            ShowMainWindow(true);
            break;
        case kNotifyQuit:
            Exit();
            break;
        default:
            return;
    }
    emit commandDone(id);
}

void CZPMainCommands::OnTrayCommand(int id) {
    // The notification area stays reachable while a modal window (a store or restore in
    // progress, a login) has the user's input; its commands wait until that window is gone,
    // or a second transfer would start beside the first on the one connection.
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != m_main && id != menu_id::kNotifyMainWindow) return;
    OnCommand(id);
}

bool CZPMainCommands::ReconnectOrSay() {
    if (kavo::Reconnect(m_client)) return true;
    ZPMessageBox(m_main, Msg(kavo::msg::kNoNetwork), kMsgIconError, kMsgOk);
    return false;
}

void CZPMainCommands::Store() {
    if (m_main) m_main->OfferToSavePendingEdits();
    if (!ReconnectOrSay()) return;
    if (m_main) m_main->ResetNoticePollBase();
    // A damaged or unreadable book never goes up, and one that would leave the server with
    // far fewer contacts than it holds goes up only when the user says so.
    const kavo::CStorePlan plan = kavo::PrepareStore(m_client);
    if (plan.readiness == kavo::StoreReadiness::kShrinks) {
        if (ZPMessageBox(m_main, QString::fromStdString(plan.message), kMsgIconQuestion,
                         kMsgYesNo) != kIdYes)
            return;
    } else if (plan.readiness != kavo::StoreReadiness::kReady) {
        ZPMessageBox(m_main, QString::fromStdString(plan.message), kMsgIconError, kMsgOk);
        return;
    }
    CZPWaittingDlg progress(CZPWaittingDlg::kStore, m_client, m_main);
    Run(progress);
    // Whatever the outcome: the question on hiding waits for the next change.
    kavo::AppState().ContactsChanged = false;
    // The server's count changed (or not): the status line says what it holds now.
    kavo::RefreshServerStats(m_client);
    if (m_main) m_main->RepaintStatusLine();
}

void CZPMainCommands::Restore() {
    if (m_main) m_main->OfferToSavePendingEdits();
    if (!ReconnectOrSay()) return;
    if (m_main) m_main->ResetNoticePollBase();
    CZPWaittingDlg progress(CZPWaittingDlg::kRestore, m_client, m_main);
    if (m_main)
        progress.SetMergeHandler([main = m_main] {
            if (main) main->ShowMergedContacts();
        });
    Run(progress);
}

void CZPMainCommands::ImportDone(bool ok, bool cancelled, const std::string& message) {
    if (cancelled) return;
    if (m_main) {
        // The same merge as after a restore: the contacts view, the selected name found
        // again, the status line renewed. An import that fell short keeps what it stored,
        // and shows it too.
        if (ok)
            m_main->ShowMergedContacts();
        else
            m_main->Refresh(true);
    }
    if (!message.empty())
        ZPMessageBox(m_main, QString::fromStdString(message), ok ? kMsgIconSuccess : kMsgIconError,
                     kMsgOk);
}

namespace {

kavo::FileChooser MakeChooser(const std::function<QString(const QString&)>& custom, QWidget* owner,
                              const QString& filter) {
    return [custom, owner, filter]() -> std::string {
        const QString file = custom ? custom(filter) : ChooseFileToOpen(owner, filter);
        return file.toStdString();
    };
}

}  // namespace

void CZPMainCommands::ImportWindowsAddressBook() {
    const kavo::CImportOutcome outcome = kavo::ImportAddressBook();
    ImportDone(outcome.ok, outcome.cancelled, outcome.message);
}

void CZPMainCommands::ImportOutlook() {
    const kavo::CImportOutcome outcome =
        kavo::ImportOutlook(MakeChooser(m_chooseFile, m_main, QStringLiteral("All files (*)")));
    ImportDone(outcome.ok, outcome.cancelled, outcome.message);
}

void CZPMainCommands::ImportCsv() {
    // Another program's file is shown first, so that its encoding and columns can be set.
    auto preview = [this](kavo::CCsvImportPlan& plan) {
        CZPCsvPreviewDlg dialog(plan, m_main);
        return Run(dialog) == QDialog::Accepted;
    };
    const kavo::CImportOutcome outcome = kavo::ImportCsv(
        MakeChooser(m_chooseFile, m_main, QString::fromUtf8(kavo::kCsvFileFilterQt)), preview);
    ImportDone(outcome.ok, outcome.cancelled, outcome.message);
}

void CZPMainCommands::ExportCsv() { Export(false); }

void CZPMainCommands::ExportVCard() { Export(true); }

void CZPMainCommands::Export(bool vcard) {
    // The group on show, if it is not the group of all contacts, when the user wants it.
    std::string group;
    const auto& groups = kavo::AppState().GroupNames;
    const int shown = m_main ? m_main->ViewState().SelectedGroup() : 0;
    if (shown > 0 && shown < static_cast<int>(groups.size())) {
        const QString name = QString::fromStdString(kavo::GbkToUtf8(groups[shown]));
        const int answer = ZPMessageBox(m_main, Msg(kavo::kMsgExportWhichGroup).arg(name),
                                        kMsgIconQuestion, kMsgYesNoCancel);
        if (answer == kIdYes)
            group = groups[shown];
        else if (answer != kIdNo)
            return;
    }
    const QString gbk = Msg(kavo::kCsvSaveFilterGbk);
    const QString utf8 = Msg(kavo::kCsvSaveFilterUtf8);
    const QString filters = vcard ? Msg(kavo::kVCardSaveFilter) : gbk + QStringLiteral(";;") + utf8;
    QString chosen = vcard ? filters : gbk;
    QString path = m_chooseSaveFile ? m_chooseSaveFile(filters, &chosen)
                                    : ChooseFileToSave(m_main, filters, QString(), &chosen);
    if (path.isEmpty()) return;
    const char* suffix = vcard ? ".vcf" : ".csv";
    if (!path.endsWith(QLatin1String(suffix), Qt::CaseInsensitive)) path += QLatin1String(suffix);
    const kavo::EExportFormat format = vcard            ? kavo::EExportFormat::kVCard
                                       : chosen == utf8 ? kavo::EExportFormat::kCsvUtf8Bom
                                                        : kavo::EExportFormat::kCsv;
    const kavo::CExportOutcome outcome = kavo::ExportContacts(path.toStdString(), group, format);
    ZPMessageBox(m_main, QString::fromStdString(outcome.message),
                 outcome.ok ? kMsgIconSuccess : kMsgIconError, kMsgOk);
}

void CZPMainCommands::LoginAgain() {
    if (m_main) m_main->OfferToSavePendingEdits();
    {
        CZPLoginDlg login(m_main);
        Run(login);
    }
    if (!m_main) return;
    if (kavo::AppState().LoginMode.load() != 0) m_main->ResetViews();
    m_main->RenewNoticeText();
    kavo::RefreshServerStats(m_client);
    m_main->RepaintStatusLine();
    m_main->ResetNoticePollBase();
}

void CZPMainCommands::GroupManager() {
    if (m_main) m_main->OfferToSavePendingEdits();
    QPointer<CZPMainDlg> main = m_main;
    CZPGroupEditDlg groups(m_main, [main](bool withLabels) {
        if (main) main->Refresh(withLabels);
    });
    Run(groups);
}

void CZPMainCommands::Statistics() {
    if (!ReconnectOrSay()) return;
    if (m_main) m_main->ResetNoticePollBase();
    CZPStatisticsDlg dlg(m_client, m_main);
    Run(dlg);
    // The window fetched the statistics afresh; the status line follows.
    if (m_main) m_main->RepaintStatusLine();
}

void CZPMainCommands::History() {
    if (!ReconnectOrSay()) return;
    if (m_main) m_main->ResetNoticePollBase();
    CZPHistoryDlg dlg(m_client, m_main);
    Run(dlg);
    // The last edit time of the status line is the newest history entry.
    if (m_main) m_main->RepaintStatusLine();
}

void CZPMainCommands::PersonalInfo() {
    if (m_main) m_main->OfferToSavePendingEdits();
    if (!kavo::Reconnect(m_client)) return;  // this command ends silently
    CZPPersonalInfoDlg dlg(m_client, m_main);
    Run(dlg);
}

void CZPMainCommands::About() {
    CZPAbout about(m_main);
    Run(about);
}

void CZPMainCommands::Register() {
    CZPRegisteDlg registe(m_main);
    Run(registe);
}

void CZPMainCommands::Recharge() {
    const QUrl page(QString::fromUtf8(kavo::msg::kRechargeUrl));
    // The desktop's browser opens it; nothing waits for or checks the outcome.
    if (m_openUrl)
        m_openUrl(page);
    else
        QDesktopServices::openUrl(page);
}

void CZPMainCommands::ShowMainWindow(bool centred) {
    if (!m_main) return;
    if (m_main->isMinimized()) m_main->showNormal();
    if (centred) m_main->CentreOverParent();
    m_main->show();
    m_main->raise();
    m_main->activateWindow();
}

void CZPMainCommands::HideToTray() {
    if (!m_main) return;
    auto& state = kavo::AppState();
    if (state.ContactsChanged && state.LoginMode.load() == 2 &&
        ZPMessageBox(m_main, Msg(kavo::msg::kAskUploadChanged), kMsgIconQuestion, kMsgYesNo) ==
            kIdYes)
        Store();
    m_tray->Remove();
    if (m_tray->Add(Msg(kavo::msg::kTrayRunning), true)) {
        // The program goes on in the notification area: the run of the main window outlives
        // hiding it, and its timer keeps polling.
        m_main->hide();
    } else {
        // The notification area went away meanwhile: nothing could bring a hidden window back.
        m_main->showMinimized();
    }
}

void CZPMainCommands::Exit() {
    if (!m_main) return;
    if (ZPMessageBox(m_main, Msg(kavo::msg::kAskQuit), kMsgIconQuestion, kMsgYesNo) != kIdYes) {
        ShowMainWindow(true);
        return;
    }
    m_main->OfferToSavePendingEdits();
    auto& state = kavo::AppState();
    if (state.ContactsChanged && state.LoginMode.load() == 2 &&
        ZPMessageBox(m_main, Msg(kavo::msg::kAskUploadChanged), kMsgIconQuestion, kMsgYesNo) ==
            kIdYes)
        Store();
    m_tray->Remove();
    m_main->done(kIdCancel);
}
