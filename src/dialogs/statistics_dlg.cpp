#include "dialogs/statistics_dlg.h"

#include <QGridLayout>

#include "skin/skin_edit.h"
#include "skin/skin_label.h"
#include "workflows/server_views_flow.h"
#include "workflows/session.h"

CZPStatisticsDlg::CZPStatisticsDlg(QWidget* parent)
    : CZPStatisticsDlg(kavo::ServerClient(), parent) {}

CZPStatisticsDlg::CZPStatisticsDlg(kavo::CKavoTcpClient& client, QWidget* parent)
    : CZPFetchDlg(client, parent) {
    setFixedSize(kWidth, kHeight);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(20, 20, 20, 20);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(14);
    const QString labels[3] = {QStringLiteral("联系人数量"), QStringLiteral("短信息数量"),
                               QStringLiteral("帐 号 数量")};
    for (int row = 0; row < 3; ++row) {
        grid->addWidget(new CZPSkinLabel(labels[row], this), row, 0);
        m_counts[row] = new CZPSkinEdit(this);
        m_counts[row]->setReadOnly(true);
        m_counts[row]->setFixedWidth(70);
        grid->addWidget(m_counts[row], row, 1);
        grid->addWidget(new CZPSkinLabel(QStringLiteral("最后操作时间"), this), row, 2);
        m_times[row] = new CZPSkinEdit(this);
        m_times[row]->setReadOnly(true);
        grid->addWidget(m_times[row], row, 3);
    }
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(3, 1);
}

bool CZPStatisticsDlg::Fetch(kavo::CKavoTcpClient& client) {
    return kavo::FetchServerStats(client);
}

void CZPStatisticsDlg::OnFetched() {
    const kavo::CStatisticsTexts texts = kavo::StatisticsTexts();
    for (int row = 0; row < 3; ++row) {
        m_counts[row]->setText(QString::fromStdString(texts.counts[row]));
        m_times[row]->setText(QString::fromStdString(texts.times[row]));
    }
}

CZPStatisticsDlg::~CZPStatisticsDlg() { CancelFetch(); }
