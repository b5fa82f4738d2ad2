#include "dialogs/image_info_dlg.h"

#include <QFileInfo>
#include <QImageReader>
#include <QLineEdit>
#include <QPainter>

#include "dialogs/file_dialog.h"
#include "skin/skin_button.h"

namespace {
constexpr int kMargin = 12;
constexpr int kGap = 20;
}  // namespace

QRect PreviewRect(const QRect& frame, const QSize& image) {
    QRect r = frame;
    if (image.width() < r.width()) {
        const int d = (r.width() - image.width()) / 2;
        r.adjust(d, 0, -d, 0);
    }
    if (image.height() < r.height()) {
        const int d = (r.height() - image.height()) / 2;
        r.adjust(0, d, 0, -d);
    }
    return r;
}

void CZPImagePreview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (!m_image || m_image->isNull()) return;
    // The picture keeps its proportions inside the preview instead of being stretched.
    const QSize fitted = m_image->size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target((width() - fitted.width()) / 2, (height() - fitted.height()) / 2,
                       fitted.width(), fitted.height());
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, *m_image);
}

CZPImageInfoDlg::CZPImageInfoDlg(QWidget* parent) : CZPContactPage(parent) {
    m_browse = new CZPSkinButton(QStringLiteral("浏览"), CZPSkinButton::kNoCode, this);
    m_browse->setObjectName(QStringLiteral("Browse"));
    QWidget* label = nullptr;
    QWidget* path = AddField("Picture", &label);
    delete label;  // the button stands before the path
    Q_UNUSED(path);
    m_preview = new CZPImagePreview(this);
    m_preview->SetImage(&m_image);
    connect(m_browse, &QPushButton::clicked, this, [this] { Browse(); });
    // Typing a path is not an edit of the contact until a picture is chosen.
    disconnect(PathEdit(), &QLineEdit::textEdited, this, nullptr);
}

QLineEdit* CZPImageInfoDlg::PathEdit() const { return LineEdit(QStringLiteral("Picture")); }

QString CZPImageInfoDlg::ImageFilter() {
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    return QStringLiteral("All Image Files (%1)").arg(patterns.join(QLatin1Char(' ')));
}

void CZPImageInfoDlg::Browse() {
    const QString file = ChooseFileToOpen(this, ImageFilter());
    if (!file.isEmpty()) ChoosePicture(file);
}

bool CZPImageInfoDlg::ChoosePicture(const QString& path) {
    m_image = QImage();
    if (!m_image.load(path)) {
        m_image = QImage();
        m_preview->update();
        return false;
    }
    m_filling = true;
    PathEdit()->setText(path);
    m_filling = false;
    m_preview->update();
    emit modified();
    return true;
}

void CZPImageInfoDlg::Fill(const kavo::CContactForm& form) {
    CZPContactPage::Fill(form);
    m_image = QImage();
    const QString path = PathEdit()->text();
    if (!path.isEmpty() && QFileInfo::exists(path) && m_image.load(path)) LayOutPreview();
    m_preview->update();
}

void CZPImageInfoDlg::LayOutPreview() {
    const QRect frame(m_browse->geometry().left(), m_browse->geometry().bottom() + 1 + kGap,
                      PathEdit()->geometry().right() - m_browse->geometry().left() + 1,
                      height() - kGap - (m_browse->geometry().bottom() + 1 + kGap));
    m_preview->setGeometry(m_image.isNull() ? frame : PreviewRect(frame, m_image.size()));
}

void CZPImageInfoDlg::resizeEvent(QResizeEvent* event) {
    CZPContactPage::resizeEvent(event);
    const int h = m_browse->sizeHint().height();
    m_browse->setGeometry(kMargin, kMargin, 69, qMax(27, h));
    PathEdit()->setGeometry(kMargin + 69 + 8, kMargin, width() - 2 * kMargin - 69 - 8, qMax(27, h));
    LayOutPreview();
}
