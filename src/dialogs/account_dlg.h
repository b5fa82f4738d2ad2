// The account panel: the five fields of one game account. Embedded in the main window its
// Save asks the window to save; inside the new-account window (new mode) it refuses a name
// already listed and ends that window.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include "skin/skin_button.h"
#include "store/records.h"

class CZPLimitedTextEdit;

class CZPAccountDlg : public QWidget, public CSkinButtonSink {
    Q_OBJECT
public:
    static constexpr int kCodeSave = 130;

    explicit CZPAccountDlg(QWidget* parent = nullptr);

    void SetNewMode(bool isNew) { m_newMode = isNew; }
    bool IsNewMode() const { return m_newMode; }
    bool IsModified() const { return m_modified; }
    void SetModified(bool modified) { m_modified = modified; }

    // The controls into a zero-filled record, each text cut to its field.
    kavo::CAccountData GetRecord() const;
    void SetRecord(const kavo::CAccountData& account);

    void SaveCommand();
    void CloseCommand();

    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* GameEdit() const { return m_game; }
    QLineEdit* IdEdit() const { return m_id; }
    QLineEdit* PasswordEdit() const { return m_password; }
    CZPLimitedTextEdit* RemarkEdit() const { return m_remark; }

    void OnSkinButton(int code) override;

signals:
    // Embedded: the main window should run its Save.
    void saveRequested();
    // New mode: the new-account window ends with OK (true) or Cancel (false).
    void finished(bool ok);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QLineEdit* m_name = nullptr;
    QLineEdit* m_game = nullptr;
    QLineEdit* m_id = nullptr;
    QLineEdit* m_password = nullptr;
    CZPLimitedTextEdit* m_remark = nullptr;
    bool m_newMode = false;
    bool m_modified = false;
};
