#pragma once

#include "dialogs/fetch_dlg.h"

class QLineEdit;

// "数据统计": how many contacts, SMS and accounts the server holds and when each last changed.
class CZPStatisticsDlg : public CZPFetchDlg {
    Q_OBJECT

public:
    static constexpr int kWidth = 420;
    static constexpr int kHeight = 220;

    explicit CZPStatisticsDlg(QWidget* parent = nullptr);
    CZPStatisticsDlg(kavo::CKavoTcpClient& client, QWidget* parent);
    // The worker calls Fetch on this window: it must end before the window does.
    ~CZPStatisticsDlg() override;

    // Row r (contacts, SMS, accounts): the count and the time fields.
    QLineEdit* CountField(int row) const { return m_counts[row]; }
    QLineEdit* TimeField(int row) const { return m_times[row]; }

protected:
    bool Fetch(kavo::CKavoTcpClient& client) override;
    void OnFetched() override;

private:
    QLineEdit* m_counts[3] = {};
    QLineEdit* m_times[3] = {};
};
