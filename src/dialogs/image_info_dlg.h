// The picture page of the contact editor: the "浏览" button, the picture's path and a
// preview of the picture.
#pragma once

#include <QImage>
#include <QRect>

#include "dialogs/contact_page.h"

class QLineEdit;
class CZPSkinButton;

// Where the preview goes: the frame, narrowed on each side by half the difference where
// the image is narrower or lower than the frame. An image larger than the frame fills it.
QRect PreviewRect(const QRect& frame, const QSize& image);

class CZPImagePreview : public QWidget {
    Q_OBJECT
public:
    explicit CZPImagePreview(QWidget* parent = nullptr) : QWidget(parent) {}
    void SetImage(const QImage* image) {
        m_image = image;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const QImage* m_image = nullptr;
};

class CZPImageInfoDlg : public CZPContactPage {
    Q_OBJECT
public:
    explicit CZPImageInfoDlg(QWidget* parent = nullptr);

    void Fill(const kavo::CContactForm& form) override;

    // Loads the chosen file in place of the current image; on success the path field takes
    // it and the page reports a modification. False when it does not load (the path stays).
    bool ChoosePicture(const QString& path);

    const QImage& Image() const { return m_image; }
    CZPImagePreview* Preview() const { return m_preview; }
    QLineEdit* PathEdit() const;
    CZPSkinButton* BrowseButton() const { return m_browse; }
    // The file-dialog filter of every image format the platform can read.
    static QString ImageFilter();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Browse();
    void LayOutPreview();
    CZPSkinButton* m_browse = nullptr;
    CZPImagePreview* m_preview = nullptr;
    QImage m_image;
};
