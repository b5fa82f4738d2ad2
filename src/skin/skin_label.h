#pragma once

#include <QLabel>

// An owner-drawn static text: transparent over the window picture, in one of the skin's
// text kinds.
class CZPSkinLabel : public QLabel {
    Q_OBJECT

public:
    enum class EKind {
        kNormal,
        kTitle,  // bold, dark blue: headings of a window's sections
        kDim,    // hints and secondary texts
        kValue,  // values shown beside their labels
    };

    explicit CZPSkinLabel(const QString& text = QString(), QWidget* parent = nullptr,
                          EKind kind = EKind::kNormal);

    void SetKind(EKind kind);
    EKind Kind() const { return m_kind; }

private:
    EKind m_kind = EKind::kNormal;
};
