#include "dialogs/name_card_dlg.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

#include "dialogs/additional_dlg.h"
#include "dialogs/base_info_dlg.h"
#include "dialogs/image_info_dlg.h"
#include "dialogs/message_box.h"
#include "skin/skin_pane.h"
#include "skin/skin_theme.h"
#include "store/app_state.h"
#include "workflows/messages.h"

namespace {
constexpr int kTabWidth = 95;
constexpr int kButtonWidth = 69;
constexpr int kButtonHeight = 27;
constexpr int kSaveX = 400;
constexpr int kCancelX = 479;
}  // namespace

CZPNameCardDlg::CZPNameCardDlg(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground, true);
    const char* tabs[] = {"基本信息", "附加信息", "图片"};
    for (int i = 0; i < 3; ++i) {
        m_tabs[i] = new CZPSkinButton(QString::fromUtf8(tabs[i]), kCodeTabBase + i, this);
        m_tabs[i]->setCheckable(true);
        m_tabs[i]->SetKind(CZPSkinButton::EKind::kTool);
    }
    m_tabs[0]->setObjectName(QStringLiteral("_Baseinfo"));
    m_tabs[1]->setObjectName(QStringLiteral("_Additional"));
    m_tabs[2]->setObjectName(QStringLiteral("_ImageInfo"));
    m_save = new CZPSkinButton(QStringLiteral("保存"), kCodeSave, this);
    m_save->SetKind(CZPSkinButton::EKind::kPrimary);
    m_cancel = new CZPSkinButton(QStringLiteral("取消"), kCodeCancel, this);
    m_cancel->hide();  // embedded mode has no Cancel

    m_base = new CZPBaseInfoDlg(this);
    m_additional = new CZPAdditionalDlg(this);
    m_image = new CZPImageInfoDlg(this);
    for (CZPContactPage* page :
         {static_cast<CZPContactPage*>(m_base), static_cast<CZPContactPage*>(m_additional),
          static_cast<CZPContactPage*>(m_image)}) {
        connect(page, &CZPContactPage::modified, this, [this] { m_modified = true; });
    }
    m_base->SetGroups(kavo::AppState().GroupNames);
    EnableControls(true);
    SelectPage(kPageBase);
}

void CZPNameCardDlg::SetInitialGroupIndex(int index) {
    m_base->SetGroups(kavo::AppState().GroupNames);
    m_base->SetGroupIndex(index);
}

void CZPNameCardDlg::SetModal(bool modal) {
    m_modal = modal;
    m_cancel->setVisible(modal);
}

CZPContactPage* CZPNameCardDlg::Page(int page) const {
    switch (page) {
        case kPageAdditional:
            return m_additional;
        case kPagePicture:
            return m_image;
        default:
            return m_base;
    }
}

void CZPNameCardDlg::Fill(const kavo::CRelData& rel) {
    const auto& groups = kavo::AppState().GroupNames;
    m_base->SetGroups(groups);
    m_form = kavo::FillContactForm(rel, groups);
    m_base->Fill(m_form);
    m_additional->Fill(m_form);
    m_image->Fill(m_form);
}

bool CZPNameCardDlg::Gather(kavo::CRelData& rel) {
    if (m_base->GroupIndex() < 0 ||
        m_base->GroupIndex() >= static_cast<int>(kavo::AppState().GroupNames.size()))
        return false;
    m_base->Gather(m_form);
    m_additional->Gather(m_form);
    m_image->Gather(m_form);
    return kavo::GatherContactForm(m_form, kavo::AppState().GroupNames, rel);
}

void CZPNameCardDlg::EnableControls(bool enable) {
    for (CZPContactPage* page : {Page(0), Page(1), Page(2)}) page->EnableControls(enable);
    for (CZPSkinButton* b : {m_tabs[0], m_tabs[1], m_tabs[2], m_save, m_cancel})
        b->setEnabled(enable);
}

void CZPNameCardDlg::SelectPage(int page) {
    if (page < kPageBase || page > kPagePicture) return;
    m_current = page;
    for (int i = 0; i < 3; ++i) {
        Page(i)->setVisible(i == page);
        m_tabs[i]->setChecked(i == page);
    }
}

bool CZPNameCardDlg::ValidateNew() {
    m_base->Gather(m_form);
    m_additional->Gather(m_form);
    m_image->Gather(m_form);
    const kavo::ENewContactCheck check = kavo::CheckNewContact(m_form);
    // The name field keeps the trimmed text.
    if (QLineEdit* name = m_base->LineEdit(QStringLiteral("RelName")))
        name->setText(QString::fromStdString(m_form.Text("RelName")));
    if (check == kavo::ENewContactCheck::kOk) return true;
    ZPMessageBox(window(), QString::fromUtf8(kavo::NewContactCheckMessage(check)), kMsgIconError,
                 kMsgOk);
    if (check == kavo::ENewContactCheck::kEmptyMobile1) {
        SelectPage(kPageBase);
        if (QLineEdit* mobile = m_base->LineEdit(QStringLiteral("MobilePhone1")))
            mobile->setFocus();
    }
    return false;
}

void CZPNameCardDlg::SaveCommand() {
    if (!m_modal) {
        emit saveRequested();
        return;
    }
    if (ValidateNew()) emit finished(true);
}

void CZPNameCardDlg::CancelCommand() {
    if (!m_modal) return;
    if (m_modified && ZPMessageBox(window(), QStringLiteral("联系人信息已修改，是否保存?"),
                                   kMsgIconQuestion, kMsgYesNo) == kIdYes) {
        SaveCommand();
        return;
    }
    emit finished(false);
}

void CZPNameCardDlg::OnSkinButton(int code) {
    if (code >= kCodeTabBase && code <= kCodeTabBase + 2) {
        SelectPage(code - kCodeTabBase);
    } else if (code == kCodeSave) {
        SaveCommand();
    } else if (code == kCodeCancel) {
        CancelCommand();
    }
}

void CZPNameCardDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (int i = 0; i < 3; ++i) m_tabs[i]->setGeometry(i * kTabWidth, 0, kTabWidth, kButtonHeight);
    // Save and Cancel keep their places unless the editor is too narrow for them.
    const int saveX = qMin(kSaveX, width() - 2 * kButtonWidth - 16);
    m_save->setGeometry(saveX, 0, kButtonWidth, kButtonHeight);
    m_cancel->setGeometry(saveX + (kCancelX - kSaveX), 0, kButtonWidth, kButtonHeight);
    const QRect pages(0, kButtonHeight + 4, width(), height() - kButtonHeight - 4);
    for (int i = 0; i < 3; ++i) Page(i)->setGeometry(pages);
}

void CZPNameCardDlg::keyPressEvent(QKeyEvent* event) {
    if (!SwallowEnterAndEscape(event)) QWidget::keyPressEvent(event);
}

void CZPNameCardDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect pages(0, kButtonHeight + 4, width(), height() - kButtonHeight - 4);
    p.fillRect(pages, CSkinTheme::Color(ESkinColor::kPanel));
    p.setPen(CSkinTheme::Color(ESkinColor::kControlBorder));
    p.drawRect(pages.adjusted(0, 0, -1, -1));
}
