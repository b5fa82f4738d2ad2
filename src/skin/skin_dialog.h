#pragma once

#include <QDialog>
#include <QPoint>

#include "skin/skin_button.h"

// The base of every window of the program: no system frame, a title bar and background drawn
// by the skin, the caption "Tavrin-手机管家", its own minimise and close boxes, and dragging by
// a press of the left mouse button anywhere on the body.
//
// Layouts placed on the window stay below the title bar and inside the rim (the window's
// contents margins), so a window only lays out its body.
//
// The minimise, maximise and close boxes are skinned buttons like any other: a window gives them
// the codes its button table assigns (SetCaptionCodes) and receives them in OnSkinButton. The
// default handling minimises the window, toggles maximised and restored, or closes it with
// reject(). The maximise box is hidden unless the window asks for it.
class CZPSkinDialog : public QDialog, public CSkinButtonSink {
    Q_OBJECT

public:
    static constexpr int kDefaultTitleHeight = 30;
    // The codes the caption boxes report unless the window assigns its own.
    static constexpr int kDefaultMinimiseCode = 1000;
    static constexpr int kDefaultCloseCode = 1001;
    static constexpr int kDefaultMaximiseCode = 1002;

    explicit CZPSkinDialog(QWidget* parent = nullptr);

    void SetCaptionCodes(int minimiseCode, int closeCode);
    void SetMaximiseCode(int code);
    int MinimiseCode() const { return m_minimiseCode; }
    int CloseCode() const { return m_closeCode; }
    int MaximiseCode() const { return m_maximiseCode; }

    void SetTitleHeight(int height);
    int TitleHeight() const { return m_titleHeight; }
    void SetMinimiseBoxVisible(bool visible);
    void SetMaximiseBoxVisible(bool visible);

    // Maximises a restored window and restores a maximised one (the maximise box).
    void ToggleMaximised();

    // The rectangle below the title bar, inside the one-pixel rim.
    QRect BodyRect() const;

    CZPSkinButton* MinimiseBox() const { return m_minimiseBox; }
    CZPSkinButton* CloseBox() const { return m_closeBox; }
    CZPSkinButton* MaximiseBox() const { return m_maximiseBox; }

    // Centres the window over its parent when that is visible, otherwise over the screen.
    void CentreOverParent();

    void OnSkinButton(int code) override;

protected:
    // Names the window by its class in the window's role, so that a desktop session (and
    // the desktop tests) can tell apart windows that all carry the same caption.
    void showEvent(QShowEvent* event) override;
    // Whether a press on the body starts a drag now (a window filling the screen is not moved).
    virtual bool CanDrag() const;
    // Paints the body below the title bar; the default fills it with the window colour.
    virtual void PaintBody(QPainter& painter, const QRect& body);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void PlaceCaptionBoxes();

    int m_titleHeight = kDefaultTitleHeight;
    int m_minimiseCode = kDefaultMinimiseCode;
    int m_closeCode = kDefaultCloseCode;
    int m_maximiseCode = kDefaultMaximiseCode;
    CZPSkinButton* m_minimiseBox = nullptr;
    CZPSkinButton* m_maximiseBox = nullptr;
    CZPSkinButton* m_closeBox = nullptr;
    bool m_dragging = false;
    QPoint m_dragOffset;  // press position relative to the window's top-left corner
};
