// The look at a CSV file before it is imported, for files that are not the program's own
// kind: the encoding it was read in (changeable), its first rows, and for each column the
// field it fills (changeable, or "附注" / "忽略"). OK imports with those choices, Cancel
// imports nothing. The window changes the plan it is given; the import builds from it.
#pragma once

#include <QList>

#include "import/csv_import.h"
#include "skin/skin_dialog.h"

class QTableWidget;
class CZPSkinComboBox;
class CZPSkinLabel;

class CZPCsvPreviewDlg : public CZPSkinDialog {
    Q_OBJECT

public:
    static constexpr int kCodeMinimise = 160;
    static constexpr int kCodeClose = 161;
    static constexpr int kCodeOk = 162;
    static constexpr int kCodeCancel = 163;
    static constexpr int kPreviewRows = 20;

    CZPCsvPreviewDlg(kavo::CCsvImportPlan& plan, QWidget* parent = nullptr);

    CZPSkinComboBox* EncodingBox() const { return m_encoding; }
    QTableWidget* Table() const { return m_table; }
    // The field choice of a column (the table's first row).
    CZPSkinComboBox* TargetBox(int column) const;

    void OnSkinButton(int code) override;

private:
    void FillTable();
    void EncodingChosen(int index);

    kavo::CCsvImportPlan& m_plan;
    CZPSkinComboBox* m_encoding = nullptr;
    CZPSkinLabel* m_summary = nullptr;
    QTableWidget* m_table = nullptr;
    QList<CZPSkinComboBox*> m_targets;
};
