#include "dialogs/history_dlg.h"

#include <QPainter>

#include "skin/skin_theme.h"
#include "workflows/messages.h"
#include "workflows/server_views_flow.h"
#include "workflows/session.h"

CZPHistoryDlg::CZPHistoryDlg(QWidget* parent) : CZPHistoryDlg(kavo::ServerClient(), parent) {}

CZPHistoryDlg::CZPHistoryDlg(kavo::CKavoTcpClient& client, QWidget* parent)
    : CZPFetchDlg(client, parent) {
    setFixedSize(kWidth, kHeight);
}

bool CZPHistoryDlg::Fetch(kavo::CKavoTcpClient& client) { return kavo::FetchHistory(client); }

void CZPHistoryDlg::OnFetched() { update(); }

QString CZPHistoryDlg::Greeting() const {
    // The history is the worker's until it has ended.
    if (IsBusy()) return QString::fromUtf8(kavo::msg::kWelcomeShort);
    return QString::fromStdString(kavo::HistoryGreeting());
}

int CZPHistoryDlg::VisibleRows() const {
    if (IsBusy()) return 0;
    const int rows = static_cast<int>(kavo::HistoryRows().size());
    const int fit = (height() - kFirstRowY) / kRowHeight;
    return std::max(0, std::min(rows, fit));
}

void CZPHistoryDlg::PaintBody(QPainter& painter, const QRect& body) {
    CZPSkinDialog::PaintBody(painter, body);
    QFont font = CSkinTheme::UiFont(12);
    painter.setFont(font);

    painter.setPen(QColor(81, 149, 221));
    const QRect greeting(0, kGreetingTop, width() - 10, 24);
    painter.drawText(greeting, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, Greeting());

    // The column heads and the rule under them stand where the window picture has them.
    const QString heads[4] = {QStringLiteral("序号"), QStringLiteral("用户名"),
                              QStringLiteral("时间"), QStringLiteral("操作")};
    const QColor ink(0, 39, 90);
    painter.setPen(ink);
    int x = kTableLeft;
    const int headY = kFirstRowY - kRowHeight;
    painter.fillRect(QRect(kTableLeft, headY + 4, 455, kRowHeight - 8),
                     CSkinTheme::Color(ESkinColor::kSelection));
    for (int c = 0; c < 4; ++c) {
        painter.drawText(QRect(x, headY, kCellWidths[c], kRowHeight), Qt::AlignCenter, heads[c]);
        x += kCellWidths[c];
    }
    if (IsBusy()) return;
    const std::vector<kavo::CHistoryRow> rows = kavo::HistoryRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int y = kFirstRowY + static_cast<int>(i) * kRowHeight;
        if (y >= height()) break;
        const std::string* cells[4] = {&rows[i].number, &rows[i].user, &rows[i].time,
                                       &rows[i].operation};
        x = kTableLeft;
        for (int c = 0; c < 4; ++c) {
            painter.drawText(QRect(x, y, kCellWidths[c], kRowHeight),
                             Qt::AlignCenter | Qt::TextSingleLine,
                             QString::fromStdString(*cells[c]));
            x += kCellWidths[c];
        }
        painter.setPen(CSkinTheme::Color(ESkinColor::kSelection));
        painter.drawLine(kTableLeft, y + kRowHeight - 1, kTableLeft + 455, y + kRowHeight - 1);
        painter.setPen(ink);
    }
}

CZPHistoryDlg::~CZPHistoryDlg() { CancelFetch(); }
