#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QString>

class QApplication;
class QPainter;
class QWidget;

// The colours of the skin. The style sheet and the windows that paint themselves take their
// colours from this one table, so the two never drift apart.
enum class ESkinColor {
    kAccent,  // buttons, selected menu items, checked boxes
    kAccentHover,
    kAccentPressed,
    kTitleTop,  // title bar gradient
    kTitleBottom,
    kTitleText,
    kWindow,         // window body
    kPanel,          // white panels inside a window
    kBorder,         // the one-pixel rim of every window
    kControlBorder,  // edit fields, lists, plain buttons
    kText,
    kTextDim,  // hints and cue texts
    kSelection,
    kSelectionText,
};

// The program's look: font, palette, style sheet, pictures and the popup-menu look.
class CSkinTheme {
public:
    // Sets the font, the palette and the style sheet on the application and gives every
    // popup menu the skinned look. Call once, right after the QApplication exists.
    static void Apply(QApplication& app);

    // Gives every popup menu created from now on the skinned look: no system frame and no
    // drop shadow. Apply() does this already; it is separate so that start-up can name the step.
    static void InstallMenuLook(QApplication& app);

    static QColor Color(ESkinColor color);

    // The CJK-capable font family the skin uses ("WenQuanYi Micro Hei" when installed,
    // otherwise the system's default family).
    static QString FontFamily();
    static QFont UiFont(int pixelSize = 12, bool bold = false);

    // The style sheet with the palette filled in.
    static QString StyleSheet();

    // Gives a widget one of the style sheet's looks through its "skin" property ("" for the
    // plain one) and styles it afresh: the sheet matches on the property only when polishing.
    static void SetSkinKind(QWidget* widget, const char* kind);

    // Skin pictures are vector drawings in the resources (":/skin/<name>.svg"), so they stay
    // sharp at any scale factor. Paint draws one into a rectangle of the painter's device;
    // Picture renders one for a given logical size and device pixel ratio; Icon wraps one for
    // buttons. An unknown name paints nothing and gives a null pixmap or icon.
    static bool Paint(QPainter& painter, const QRectF& rect, const QString& name);
    static QPixmap Picture(const QString& name, const QSize& size, qreal devicePixelRatio = 1.0);
    static QIcon Icon(const QString& name);

    // The caption every window of the program shows.
    static QString Caption();
};
