#include "dialogs/csv_preview_dlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "codecs/gbk_text.h"
#include "dialogs/message_box.h"
#include "import/csv_encoding.h"
#include "import/import_messages.h"
#include "skin/skin_button.h"
#include "skin/skin_combo_box.h"
#include "skin/skin_label.h"

using kavo::ECsvTarget;

namespace {

QString FromGbk(const std::string& gbk) { return QString::fromStdString(kavo::GbkToUtf8(gbk)); }

}  // namespace

CZPCsvPreviewDlg::CZPCsvPreviewDlg(kavo::CCsvImportPlan& plan, QWidget* parent)
    : CZPSkinDialog(parent), m_plan(plan) {
    SetCaptionCodes(kCodeMinimise, kCodeClose);
    resize(760, 520);

    auto* layout = new QVBoxLayout(this);
    auto* heading = new CZPSkinLabel(QString::fromUtf8(kavo::kMsgCsvPreviewTitle), this,
                                     CZPSkinLabel::EKind::kTitle);
    layout->addWidget(heading);
    auto* hint = new CZPSkinLabel(QString::fromUtf8(kavo::kMsgCsvPreviewHint), this,
                                  CZPSkinLabel::EKind::kDim);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    auto* encodingRow = new QHBoxLayout;
    encodingRow->addWidget(new CZPSkinLabel(QString::fromUtf8(kavo::kMsgCsvPreviewEncoding), this));
    m_encoding = new CZPSkinComboBox(this);
    m_encoding->setObjectName(QStringLiteral("encoding"));
    for (const std::string& e : kavo::CsvEncodingChoices())
        m_encoding->addItem(QString::fromStdString(e));
    const QString detected = QString::fromStdString(plan.Document().encoding);
    if (m_encoding->findText(detected) < 0) m_encoding->addItem(detected);
    m_encoding->setCurrentIndex(m_encoding->findText(detected));
    encodingRow->addWidget(m_encoding);
    encodingRow->addStretch(1);
    m_summary = new CZPSkinLabel(QString(), this, CZPSkinLabel::EKind::kDim);
    encodingRow->addWidget(m_summary);
    layout->addLayout(encodingRow);

    m_table = new QTableWidget(this);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->setDefaultSectionSize(24);
    layout->addWidget(m_table, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new CZPSkinButton(QStringLiteral("确定"), kCodeOk, this);
    ok->SetKind(CZPSkinButton::EKind::kPrimary);
    buttons->addWidget(ok);
    buttons->addWidget(new CZPSkinButton(QStringLiteral("取消"), kCodeCancel, this));
    layout->addLayout(buttons);

    connect(m_encoding, &QComboBox::currentIndexChanged, this, &CZPCsvPreviewDlg::EncodingChosen);
    FillTable();
}

CZPSkinComboBox* CZPCsvPreviewDlg::TargetBox(int column) const {
    return column >= 0 && column < m_targets.size() ? m_targets[column] : nullptr;
}

void CZPCsvPreviewDlg::FillTable() {
    const kavo::CCsvDocument& doc = m_plan.Document();
    const std::vector<kavo::CCsvColumn>& mapping = m_plan.Mapping();
    const int columns = static_cast<int>(doc.header.size());
    const int rows = std::min<int>(kPreviewRows, static_cast<int>(doc.rows.size()));
    m_table->clear();
    m_targets.clear();
    m_table->setColumnCount(columns);
    m_table->setRowCount(rows + 1);
    QStringList titles;
    for (const std::string& h : doc.header) titles << FromGbk(h);
    m_table->setHorizontalHeaderLabels(titles);
    QStringList rowNames{QString::fromUtf8(kavo::kMsgCsvPreviewField)};
    for (int r = 1; r <= rows; ++r) rowNames << QString::number(r);
    m_table->setVerticalHeaderLabels(rowNames);

    for (int c = 0; c < columns; ++c) {
        const kavo::CCsvColumn& column = mapping[static_cast<std::size_t>(c)];
        auto* box = new CZPSkinComboBox(m_table);
        for (ECsvTarget t : kavo::CsvTargetChoices(column))
            box->addItem(QString::fromUtf8(kavo::CsvTargetName(t)), static_cast<int>(t));
        box->setCurrentIndex(box->findData(static_cast<int>(column.target)));
        connect(box, &QComboBox::currentIndexChanged, this, [this, box, c](int index) {
            if (index >= 0)
                m_plan.SetTarget(static_cast<std::size_t>(c),
                                 static_cast<ECsvTarget>(box->itemData(index).toInt()));
        });
        m_table->setCellWidget(0, c, box);
        m_targets << box;
        for (int r = 0; r < rows; ++r) {
            const std::vector<std::string>& row = doc.rows[static_cast<std::size_t>(r)];
            const QString text = c < static_cast<int>(row.size())
                                     ? FromGbk(row[static_cast<std::size_t>(c)])
                                     : QString();
            m_table->setItem(r + 1, c, new QTableWidgetItem(text.simplified()));
        }
    }
    m_table->resizeColumnsToContents();
    for (int c = 0; c < columns; ++c)
        m_table->setColumnWidth(c, std::clamp(m_table->columnWidth(c), 110, 240));
    m_summary->setText(QString::fromUtf8(kavo::kMsgCsvPreviewRows).arg(doc.RowCount()).arg(rows));
}

void CZPCsvPreviewDlg::EncodingChosen(int index) {
    if (index < 0) return;
    const std::string chosen = m_encoding->itemText(index).toStdString();
    if (chosen == m_plan.Document().encoding) return;
    if (!m_plan.SetEncoding(chosen)) {
        ZPMessageBox(this, QString::fromUtf8(kavo::kMsgCsvPreviewBadEncoding), kMsgIconError,
                     kMsgOk);
        const QSignalBlocker block(m_encoding);
        m_encoding->setCurrentIndex(
            m_encoding->findText(QString::fromStdString(m_plan.Document().encoding)));
        return;
    }
    FillTable();
}

void CZPCsvPreviewDlg::OnSkinButton(int code) {
    if (code == kCodeOk) {
        accept();
        return;
    }
    if (code == kCodeCancel || code == kCodeClose) {
        reject();
        return;
    }
    CZPSkinDialog::OnSkinButton(code);
}
