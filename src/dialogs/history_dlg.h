#pragma once

#include "dialogs/fetch_dlg.h"

// "历史操作": the user's recorded operations, drawn over the window as a table under a
// greeting with the date of the latest one. Rows that do not fit are not shown.
class CZPHistoryDlg : public CZPFetchDlg {
    Q_OBJECT

public:
    static constexpr int kWidth = 500;
    static constexpr int kHeight = 520;
    static constexpr int kGreetingTop = 40;
    static constexpr int kFirstRowY = 152;
    static constexpr int kRowHeight = 33;
    static constexpr int kTableLeft = 20;
    static constexpr int kCellWidths[4] = {45, 65, 145, 200};

    explicit CZPHistoryDlg(QWidget* parent = nullptr);
    CZPHistoryDlg(kavo::CKavoTcpClient& client, QWidget* parent);
    // The worker calls Fetch on this window: it must end before the window does.
    ~CZPHistoryDlg() override;

    // What the window draws: the greeting, and the texts of the rows fetched.
    QString Greeting() const;
    int VisibleRows() const;

protected:
    bool Fetch(kavo::CKavoTcpClient& client) override;
    void OnFetched() override;
    void PaintBody(QPainter& painter, const QRect& body) override;
};
