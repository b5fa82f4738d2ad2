#include "dialogs/statistics_dlg.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QShowEvent>

#include "dialogs/message_box.h"
#include "net/result_codes.h"
#include "skin/skin_edit.h"
#include "skin/skin_label.h"
#include "workflows/server_views_flow.h"
#include "workflows/session.h"

CZPFetchDlg::CZPFetchDlg(kavo::CKavoTcpClient& client, QWidget* parent)
    : CZPSkinDialog(parent), m_client(client) {
    setModal(true);
    SetCaptionCodes(kCodeMinimise, kCodeClose);
}

CZPFetchDlg::~CZPFetchDlg() {
    if (m_worker.IsRunning()) m_worker.Cancel(&m_client);
}

void CZPFetchDlg::showEvent(QShowEvent* event) {
    CZPSkinDialog::showEvent(event);
    if (event->spontaneous() || m_started) return;
    m_started = true;
    m_busy = true;
    kavo::CKavoTcpClient* client = &m_client;
    m_worker.Start(
        this, [this, client](const std::atomic<bool>&) { return Fetch(*client); },
        [this](int code) { OnSkinButton(code); });
}

void CZPFetchDlg::OnSkinButton(int code) {
    switch (code) {
        case CZPWorkerRunner::kOutcomeSuccess:
            m_worker.Join();
            m_busy = false;
            OnFetched();
            break;
        case CZPWorkerRunner::kOutcomeFailure: {
            m_worker.Join();
            m_busy = false;
            m_failure = QString::fromStdString(kavo::ResultMessage(m_client.LastError()));
            QWidget* owner = parentWidget();
            done(kIdCancel);
            ZPMessageBox(owner, m_failure, kMsgIconError, kMsgOk);
            break;
        }
        case kCodeMinimise:
            showMinimized();
            break;
        case kCodeClose:
            reject();
            break;
        default:
            break;
    }
}

void CZPFetchDlg::reject() {
    if (m_busy) return;  // the worker still uses the shared lists
    CZPSkinDialog::reject();
}

void CZPFetchDlg::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (m_busy && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)) return;
    CZPSkinDialog::keyPressEvent(event);
}

void CZPFetchDlg::closeEvent(QCloseEvent* event) {
    if (m_busy) {
        event->ignore();
        return;
    }
    CZPSkinDialog::closeEvent(event);
}

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
