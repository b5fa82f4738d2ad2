#include "dialogs/base_info_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include "codecs/gbk_text.h"
#include "dialogs/field_limits.h"
#include "skin/skin_combo_box.h"
#include "skin/skin_label.h"
#include "workflows/messages.h"

namespace {

QComboBox* NumberBox(QWidget* parent, int first, int last, const char* format) {
    auto* box = new CZPSkinComboBox(parent);
    box->addItem(QString());
    for (int v = first; v <= last; ++v) box->addItem(QString::asprintf(format, v));
    box->setMaxVisibleItems(16);
    // Sized for their numbers, so the birthday row does not widen its column.
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(first > 31 ? 5 : 3);
    return box;
}

}  // namespace

CZPBaseInfoDlg::CZPBaseInfoDlg(QWidget* parent) : CZPContactPage(parent) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 8, 12, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnMinimumWidth(2, 64);
    // Both field columns share the width alike.
    grid->setColumnMinimumWidth(1, 120);
    grid->setColumnMinimumWidth(3, 120);

    int row = 0;
    auto put = [&](const char* column, int col, int span = 1) {
        QWidget* label = nullptr;
        QWidget* edit = AddField(column, &label);
        // A multi-line field's label stays beside its first line.
        const bool tall = qobject_cast<CZPLimitedTextEdit*>(edit) != nullptr;
        grid->addWidget(label, row, col, tall ? Qt::AlignTop : Qt::Alignment());
        grid->addWidget(edit, row, col + 1, 1, span);
    };

    put("RelName", 0);
    put("CorpPosition", 2);
    ++row;

    grid->addWidget(new CZPSkinLabel(QStringLiteral("生        日"), this), row, 0);
    m_year = NumberBox(this, kavo::kBirthdayFirstYear, kavo::kBirthdayLastYear, "%04d");
    m_month = NumberBox(this, 1, 12, "%02d");
    m_day = NumberBox(this, 1, 31, "%02d");
    m_birthdayHint = new CZPSkinLabel(QString(), this, CZPSkinLabel::EKind::kDim);
    m_birthdayHint->hide();
    auto* birthday = new QHBoxLayout;
    birthday->setSpacing(3);
    birthday->addWidget(m_year);
    birthday->addWidget(new CZPSkinLabel(QStringLiteral("年"), this));
    birthday->addSpacing(6);
    birthday->addWidget(m_month);
    birthday->addWidget(new CZPSkinLabel(QStringLiteral("月"), this));
    birthday->addSpacing(6);
    birthday->addWidget(m_day);
    birthday->addWidget(new CZPSkinLabel(QStringLiteral("日"), this));
    birthday->addSpacing(12);
    birthday->addWidget(m_birthdayHint);
    birthday->addStretch(1);
    grid->addLayout(birthday, row, 1, 1, 3);
    ++row;

    put("KeshNum", 0, 3);
    ++row;
    put("CompanyAddr", 0, 3);
    ++row;
    put("HomeAddr", 0, 3);
    ++row;
    put("IDCard", 0);
    put("ZipCode", 2);
    ++row;
    const char* pairs[][2] = {
        {"MobilePhone1", "NickName"}, {"MobilePhone2", "MSN"},    {"MobilePhone3", "QQ"},
        {"HomePhone", "ICQ"},         {"OfficePhone1", "E_mail"}, {"OfficePhone2", "CompanyWeb"},
    };
    for (const auto& pair : pairs) {
        put(pair[0], 0);
        put(pair[1], 2);
        ++row;
    }
    put("OfficePhone3", 0);
    grid->addWidget(new CZPSkinLabel(QStringLiteral("分        组"), this), row, 2);
    m_group = new CZPSkinComboBox(this);
    m_group->setObjectName(QStringLiteral("GroupName"));
    grid->addWidget(m_group, row, 3);
    ++row;
    put("OfficeFax", 0);
    ++row;
    put("RelRemark", 0, 3);
    grid->setRowStretch(row, 1);

    for (QComboBox* box : {m_year, m_month, m_day, m_group}) {
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            if (!m_filling) emit modified();
        });
    }
}

void CZPBaseInfoDlg::SetGroups(const std::vector<std::string>& groups) {
    if (groups == m_groups && m_group->count() == static_cast<int>(groups.size())) return;
    const bool filling = m_filling;
    m_filling = true;
    m_groups = groups;
    const int keep = m_group->currentIndex();
    m_group->clear();
    for (const std::string& g : groups) {
        std::string_view name = kavo::TrimSpace(g);
        m_group->addItem(name.empty() ? QString::fromUtf8(kavo::msg::kAllGroups)
                                      : QString::fromStdString(kavo::GbkToUtf8(name)));
    }
    m_group->setCurrentIndex(keep >= 0 && keep < m_group->count() ? keep : 0);
    m_filling = filling;
}

void CZPBaseInfoDlg::SetGroupIndex(int index) {
    const bool filling = m_filling;
    m_filling = true;
    m_group->setCurrentIndex(index >= 0 && index < m_group->count() ? index : 0);
    m_filling = filling;
}

int CZPBaseInfoDlg::GroupIndex() const { return m_group->currentIndex(); }

void CZPBaseInfoDlg::Fill(const kavo::CContactForm& form) {
    CZPContactPage::Fill(form);
    m_filling = true;
    m_year->setCurrentIndex(form.birthday.year);
    m_month->setCurrentIndex(form.birthday.month);
    m_day->setCurrentIndex(form.birthday.day);
    m_group->setCurrentIndex(form.groupIndex < m_group->count() ? form.groupIndex : 0);
    m_filling = false;
    if (!kavo::BirthdayShowable(form.storedBirthday)) {
        m_birthdayHint->setText(
            QStringLiteral("已存：%1（不改选择则保留）")
                .arg(QString::fromStdString(kavo::GbkToUtf8(form.storedBirthday))));
        m_birthdayHint->show();
    } else {
        m_birthdayHint->hide();
    }
}

void CZPBaseInfoDlg::Gather(kavo::CContactForm& form) const {
    CZPContactPage::Gather(form);
    form.birthday = {m_year->currentIndex() > 0 ? m_year->currentIndex() : 0,
                     m_month->currentIndex() > 0 ? m_month->currentIndex() : 0,
                     m_day->currentIndex() > 0 ? m_day->currentIndex() : 0};
    form.groupIndex = m_group->currentIndex();
}
