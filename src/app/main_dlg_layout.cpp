// The building of the main window: its widgets, their layout and the painting of its body.
// What the widgets do lives in main_dlg.cpp.
#include <QAbstractItemView>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QShortcut>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/contact_list_model.h"
#include "app/main_dlg.h"
#include "dialogs/account_dlg.h"
#include "dialogs/message_dlg.h"
#include "dialogs/name_card_dlg.h"
#include "skin/notice_line.h"
#include "skin/skin_button.h"
#include "skin/skin_edit.h"
#include "skin/skin_label.h"
#include "skin/skin_theme.h"

namespace {

constexpr int kListWidth = 250;

QString Msg(const char* text) { return QString::fromUtf8(text); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Building

void CZPMainDlg::BuildWidgets() {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(10, 4, 10, 2);
    root->setSpacing(6);

    // Toolbar and the user's name.
    auto* top = new QHBoxLayout;
    top->setSpacing(4);
    const char* tools[] = {"存储还原", "操作", "查看", "分组管理", "个人资料"};
    for (int i = 0; i < 5; ++i) {
        auto* b = new CZPSkinButton(Msg(tools[i]), kCodeToolbarFirst + i, this);
        b->SetKind(CZPSkinButton::EKind::kTool);
        b->setMinimumSize(76, 30);
        top->addWidget(b);
    }
    top->addStretch(1);
    m_userLabel = new CZPSkinLabel(QString(), this, CZPSkinLabel::EKind::kValue);
    top->addWidget(m_userLabel);
    root->addLayout(top);

    m_notice = new CZPNoticeLine(this);
    m_notice->setFixedHeight(22);
    connect(m_notice, &CZPNoticeLine::needNextText, this, &CZPMainDlg::OnNoticeLineNeedsText);
    root->addWidget(m_notice);

    auto* body = new QHBoxLayout;
    body->setSpacing(6);

    // The view buttons, standing upright at the left edge.
    auto* views = new QVBoxLayout;
    views->setSpacing(4);
    const struct {
        const char* text;
        int code;
    } viewButtons[3] = {
        {"联\n系\n人", kCodeViewContacts}, {"短\n信", kCodeViewSms}, {"账\n号", kCodeViewAccounts}};
    for (int i = 0; i < 3; ++i) {
        m_viewButtons[i] = new CZPSkinButton(Msg(viewButtons[i].text), viewButtons[i].code, this);
        m_viewButtons[i]->setCheckable(true);
        m_viewButtons[i]->SetKind(CZPSkinButton::EKind::kTool);
        m_viewButtons[i]->setStyleSheet(
            QStringLiteral("QPushButton { border: 1px solid %1; border-radius: 3px; }")
                .arg(CSkinTheme::Color(ESkinColor::kControlBorder).name()));
        m_viewButtons[i]->setFixedSize(30, 86);
        views->addWidget(m_viewButtons[i]);
    }
    views->addStretch(1);
    body->addLayout(views);

    // The left column: search, buttons, group tabs, list.
    auto* left = new QVBoxLayout;
    left->setSpacing(5);
    auto* searchRow = new QHBoxLayout;
    searchRow->setSpacing(4);
    m_search = new CZPSkinEdit(this);
    m_search->setObjectName(QStringLiteral("Search"));
    m_search->installEventFilter(this);
    searchRow->addWidget(m_search, 1);
    auto* searchButton = new CZPSkinButton(QStringLiteral("搜索"), kCodeSearch, this);
    searchButton->setObjectName(QStringLiteral("SearchButton"));
    searchButton->setFixedWidth(52);
    searchRow->addWidget(searchButton);
    left->addLayout(searchRow);

    auto* commands = new QHBoxLayout;
    commands->setSpacing(4);
    commands->addWidget(new CZPSkinButton(QStringLiteral("新增"), kCodeNew, this));
    commands->addWidget(new CZPSkinButton(QStringLiteral("删除"), kCodeDelete, this));
    commands->addWidget(new CZPSkinButton(QStringLiteral("打印"), kCodePrint, this));
    left->addLayout(commands);

    m_tabStrip = new QWidget(this);
    auto* tabs = new QHBoxLayout(m_tabStrip);
    tabs->setContentsMargins(0, 0, 0, 0);
    tabs->setSpacing(2);
    auto* previous = new CZPSkinButton(QString(), kCodeGroupPrevious, m_tabStrip);
    previous->SetPicture(QStringLiteral("arrow_left"), QSize(12, 12));
    previous->SetKind(CZPSkinButton::EKind::kTool);
    previous->setFixedSize(20, 26);
    tabs->addWidget(previous);
    for (int k = 0; k < 3; ++k) {
        m_tabs[k] = new CZPSkinButton(QString(), kCodeTab0 + k, m_tabStrip);
        m_tabs[k]->setCheckable(true);
        m_tabs[k]->SetKind(CZPSkinButton::EKind::kTool);
        m_tabs[k]->setFixedHeight(26);
        m_tabs[k]->setMinimumWidth(40);
        tabs->addWidget(m_tabs[k], 1);
    }
    auto* next = new CZPSkinButton(QString(), kCodeGroupNext, m_tabStrip);
    next->SetPicture(QStringLiteral("arrow_right"), QSize(12, 12));
    next->SetKind(CZPSkinButton::EKind::kTool);
    next->setFixedSize(20, 26);
    tabs->addWidget(next);
    left->addWidget(m_tabStrip);

    m_model = new CContactListModel(this);
    m_list = new QTreeView(this);
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderHidden(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setAllColumnsShowFocus(true);
    m_list->setAlternatingRowColors(true);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setMinimumSectionSize(0);
    m_list->setColumnWidth(0, 95);
    m_list->setColumnWidth(1, 105);
    // The phone column takes what the list has left, so an SMS time is not cut short.
    m_list->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_list->setColumnHidden(2, true);
    m_list->setFixedWidth(kListWidth);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { OnCurrentRowChanged(current.row()); });
    left->addWidget(m_list, 1);
    body->addLayout(left);

    // The right pane: the three panels over the same area, one visible.
    auto* right = new QWidget(this);
    auto* stack = new QGridLayout(right);
    stack->setContentsMargins(0, 0, 0, 0);
    m_nameCard = new CZPNameCardDlg(right);
    m_smsPanel = new CZPMessageDlg(right);
    m_accountPanel = new CZPAccountDlg(right);
    stack->addWidget(m_nameCard, 0, 0);
    stack->addWidget(m_smsPanel, 0, 0);
    stack->addWidget(m_accountPanel, 0, 0);
    m_smsPanel->hide();
    m_accountPanel->hide();
    connect(m_nameCard, &CZPNameCardDlg::saveRequested, this, &CZPMainDlg::Save);
    connect(m_accountPanel, &CZPAccountDlg::saveRequested, this, &CZPMainDlg::Save);
    body->addWidget(right, 1);
    root->addLayout(body, 1);

    m_statusLine = new CZPSkinLabel(QString(), this, CZPSkinLabel::EKind::kDim);
    m_statusLine->setFixedHeight(22);
    root->addWidget(m_statusLine);

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] { m_search->setFocus(); });

    resize(kWidth, kHeight);
}

void CZPMainDlg::PaintBody(QPainter& painter, const QRect& body) {
    CZPSkinDialog::PaintBody(painter, body);
    // A rule above the status line.
    painter.setPen(CSkinTheme::Color(ESkinColor::kControlBorder));
    const int y = m_statusLine->geometry().top() - 2;
    painter.drawLine(body.left() + 10, y, body.right() - 10, y);
}
