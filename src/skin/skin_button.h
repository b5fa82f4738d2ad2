#pragma once

#include <QPushButton>
#include <QString>

// A window or panel that receives the codes of its skinned buttons. A click on a
// CZPSkinButton calls OnSkinButton of the nearest ancestor that is a sink; each window maps
// the codes to its actions.
class CSkinButtonSink {
public:
    virtual ~CSkinButtonSink() = default;
    virtual void OnSkinButton(int code) = 0;
};

// A skinned push button that carries a numeric code. A click emits codeClicked(code) and
// reports the code to the nearest CSkinButtonSink among its ancestors. A button without a
// code (kNoCode) reports nothing and behaves like a plain QPushButton.
class CZPSkinButton : public QPushButton {
    Q_OBJECT

public:
    static constexpr int kNoCode = -1;

    enum class EKind {
        kNormal,   // white face, blue rim
        kPrimary,  // filled blue face
        kTool,     // flat until hovered
        kCaption,  // minimise/maximise box of a title bar
        kClose,    // close box of a title bar (turns red when hovered)
    };

    explicit CZPSkinButton(QWidget* parent = nullptr);
    CZPSkinButton(const QString& text, int code, QWidget* parent = nullptr);

    int Code() const { return m_code; }
    void SetCode(int code) { m_code = code; }

    EKind Kind() const { return m_kind; }
    void SetKind(EKind kind);

    // A small second line beneath the caption (the English word on the message box buttons).
    QString Subtitle() const { return m_subtitle; }
    void SetSubtitle(const QString& subtitle);

    // Shows a skin picture (":/skin/<name>.svg") instead of, or beside, the text.
    void SetPicture(const QString& name, const QSize& size);

    QSize sizeHint() const override;

signals:
    void codeClicked(int code);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ReportClick();

    int m_code = kNoCode;
    EKind m_kind = EKind::kNormal;
    QString m_subtitle;
};
