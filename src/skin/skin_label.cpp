#include "skin/skin_label.h"

#include "skin/skin_theme.h"

CZPSkinLabel::CZPSkinLabel(const QString& text, QWidget* parent, EKind kind)
    : QLabel(text, parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    SetKind(kind);
}

void CZPSkinLabel::SetKind(EKind kind) {
    m_kind = kind;
    const char* name = "";
    switch (kind) {
        case EKind::kNormal:
            name = "";
            break;
        case EKind::kTitle:
            name = "title";
            break;
        case EKind::kDim:
            name = "dim";
            break;
        case EKind::kValue:
            name = "value";
            break;
    }
    CSkinTheme::SetSkinKind(this, name);
}
