// The contact editor: three pages (basic, additional, picture) under a strip of tab
// buttons, with Save and Cancel. Embedded in the main window its Save asks the window to
// save; inside the new-contact window (modal mode) it checks the input itself and ends
// that window with OK or Cancel.
#pragma once

#include <QWidget>

#include "skin/skin_button.h"
#include "store/records.h"
#include "workflows/contact_form.h"

class CZPAdditionalDlg;
class CZPBaseInfoDlg;
class CZPContactPage;
class CZPImageInfoDlg;

class CZPNameCardDlg : public QWidget, public CSkinButtonSink {
    Q_OBJECT
public:
    enum EPage : int { kPageBase = 0, kPageAdditional = 1, kPagePicture = 2 };
    static constexpr int kCodeTabBase = 100;  // 101, 102: the other two tabs
    static constexpr int kCodeSave = 110;
    static constexpr int kCodeCancel = 111;

    explicit CZPNameCardDlg(QWidget* parent = nullptr);

    // The group the basic page selects before the first fill (the new-contact window).
    void SetInitialGroupIndex(int index);
    void SetModal(bool modal);
    bool IsModal() const { return m_modal; }

    // Record to pages (the groups are taken from GroupNames anew).
    void Fill(const kavo::CRelData& rel);
    // Pages to record; false, with `rel` untouched, when the group selection is invalid.
    bool Gather(kavo::CRelData& rel);
    void EnableControls(bool enable);
    void SelectPage(int page);
    int CurrentPage() const { return m_current; }

    bool IsModified() const { return m_modified; }
    void SetModified(bool modified) { m_modified = modified; }

    // Save and Cancel (the buttons, and the new-contact window's close box).
    void SaveCommand();
    void CancelCommand();

    CZPBaseInfoDlg* BasePage() const { return m_base; }
    CZPAdditionalDlg* AdditionalPage() const { return m_additional; }
    CZPImageInfoDlg* ImagePage() const { return m_image; }
    CZPSkinButton* TabButton(int page) const { return m_tabs[page]; }

    void OnSkinButton(int code) override;

signals:
    // Embedded: the main window should run its Save.
    void saveRequested();
    // Modal: the new-contact window ends with OK (true) or Cancel (false).
    void finished(bool ok);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool ValidateNew();
    CZPContactPage* Page(int page) const;

    CZPBaseInfoDlg* m_base = nullptr;
    CZPAdditionalDlg* m_additional = nullptr;
    CZPImageInfoDlg* m_image = nullptr;
    CZPSkinButton* m_tabs[3] = {};
    CZPSkinButton* m_save = nullptr;
    CZPSkinButton* m_cancel = nullptr;
    int m_current = kPageBase;
    bool m_modified = false;
    bool m_modal = false;
    kavo::CContactForm m_form;  // the last fill, with the stored birthday
};
