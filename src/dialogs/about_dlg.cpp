#include "dialogs/about_dlg.h"

#include <QVBoxLayout>

#include "skin/skin_button.h"
#include "skin/skin_label.h"
#include "workflows/messages.h"

CZPAbout::CZPAbout(QWidget* parent) : CZPSkinDialog(parent) {
    setModal(true);
    setFixedSize(kWidth, kHeight);
    SetMinimiseBoxVisible(false);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 18, 24, 16);
    column->setSpacing(10);
    auto* title =
        new CZPSkinLabel(QString::fromUtf8(kavo::msg::kCaption), this, CZPSkinLabel::EKind::kTitle);
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    for (const QString& line : Lines()) {
        auto* label = new CZPSkinLabel(line, this);
        label->setAlignment(Qt::AlignCenter);
        label->setObjectName(QStringLiteral("aboutLine"));
        column->addWidget(label);
    }
    column->addStretch(1);
    auto* ok = new CZPSkinButton(QStringLiteral("确定"), kCodeOk, this);
    ok->SetSubtitle(QStringLiteral("OK"));
    ok->setFixedSize(69, 36);
    ok->setDefault(true);
    column->addWidget(ok, 0, Qt::AlignCenter);
}

QStringList CZPAbout::Lines() const {
    return {
        QStringLiteral("网址：www.tavrin.example    客服电话：400-000-0000"),
        QStringLiteral("2009-2010  PC版 %1   手机版 %2")
            .arg(QString::fromUtf8(kavo::msg::kPcVersion),
                 QString::fromUtf8(kavo::msg::kPhoneVersion)),
        QStringLiteral("Tavrin 是 Norvane 的商标。"),
        QStringLiteral("Norvane 保留所有权利。"),
    };
}

void CZPAbout::OnSkinButton(int code) {
    if (code == kCodeOk) {
        accept();
        return;
    }
    CZPSkinDialog::OnSkinButton(code);
}
