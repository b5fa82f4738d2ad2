// The basic page of the contact editor: names, phones, addresses, the birthday selectors,
// the group selector and the remark.
#pragma once

#include "dialogs/contact_page.h"

class QComboBox;
class QLabel;

class CZPBaseInfoDlg : public CZPContactPage {
    Q_OBJECT
public:
    explicit CZPBaseInfoDlg(QWidget* parent = nullptr);

    void Fill(const kavo::CContactForm& form) override;
    void Gather(kavo::CContactForm& form) const override;

    // Lists the user's groups (GBK names; the blank first entry reads "全部").
    void SetGroups(const std::vector<std::string>& groups);
    void SetGroupIndex(int index);
    int GroupIndex() const;

    QComboBox* YearBox() const { return m_year; }
    QComboBox* MonthBox() const { return m_month; }
    QComboBox* DayBox() const { return m_day; }
    QComboBox* GroupBox() const { return m_group; }
    // Shows a stored birthday the selectors cannot show, so it is seen and kept.
    QLabel* BirthdayHint() const { return m_birthdayHint; }

private:
    QComboBox* m_year = nullptr;
    QComboBox* m_month = nullptr;
    QComboBox* m_day = nullptr;
    QComboBox* m_group = nullptr;
    QLabel* m_birthdayHint = nullptr;
    std::vector<std::string> m_groups;
};
