#include "skin/skin_theme.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QHash>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QSvgRenderer>
#include <QWidget>
#include <memory>

static void InitSkinResources() {
    // The resources live in a static library; without this call the linker may drop them.
    static const bool done = [] {
        Q_INIT_RESOURCE(skin);
        return true;
    }();
    (void)done;
}

namespace {

struct SColorName {
    ESkinColor color;
    const char* token;
    QRgb rgb;
};

constexpr SColorName kColors[] = {
    {ESkinColor::kAccent, "accent", 0x2b78c9},
    {ESkinColor::kAccentHover, "accent_hover", 0x4690db},
    {ESkinColor::kAccentPressed, "accent_pressed", 0x1d5fa6},
    {ESkinColor::kTitleTop, "title_top", 0x3484d4},
    {ESkinColor::kTitleBottom, "title_bottom", 0x2166b3},
    {ESkinColor::kTitleText, "title_text", 0xffffff},
    {ESkinColor::kWindow, "window", 0xf4f8fc},
    {ESkinColor::kPanel, "panel", 0xffffff},
    {ESkinColor::kBorder, "border", 0x1f5a9a},
    {ESkinColor::kControlBorder, "control_border", 0xa9c1dc},
    {ESkinColor::kText, "text", 0x1e2a38},
    {ESkinColor::kTextDim, "text_dim", 0x48658c},
    {ESkinColor::kSelection, "selection", 0xcfe2f7},
    {ESkinColor::kSelectionText, "selection_text", 0x0f2c4d},
};

// Watches for popup menus being polished and strips what the window system would add
// around them, so that every menu, context menus of edit fields included, looks skinned.
class CMenuLookFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish) {
            if (auto* menu = qobject_cast<QMenu*>(watched)) {
                if (!menu->property("skinMenu").toBool()) {
                    menu->setProperty("skinMenu", true);
                    menu->setWindowFlag(Qt::NoDropShadowWindowHint, true);
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

QSvgRenderer* Renderer(const QString& name) {
    InitSkinResources();
    static QHash<QString, std::shared_ptr<QSvgRenderer>> cache;
    auto it = cache.find(name);
    if (it == cache.end()) {
        auto renderer = std::make_shared<QSvgRenderer>(QStringLiteral(":/skin/%1.svg").arg(name));
        if (!renderer->isValid()) renderer.reset();
        it = cache.insert(name, renderer);
    }
    return it->get();
}

}  // namespace

QColor CSkinTheme::Color(ESkinColor color) {
    for (const auto& c : kColors) {
        if (c.color == color) return QColor::fromRgb(c.rgb);
    }
    return QColor(Qt::black);
}

QString CSkinTheme::FontFamily() {
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        for (const char* wanted :
             {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Droid Sans Fallback"}) {
            if (families.contains(QString::fromLatin1(wanted))) return QString::fromLatin1(wanted);
        }
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return family;
}

QFont CSkinTheme::UiFont(int pixelSize, bool bold) {
    QFont font(FontFamily());
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void CSkinTheme::SetSkinKind(QWidget* widget, const char* kind) {
    widget->setProperty("skin", QString::fromLatin1(kind));
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

QString CSkinTheme::StyleSheet() {
    InitSkinResources();
    QFile file(QStringLiteral(":/skin/skin.qss"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QString sheet = QString::fromUtf8(file.readAll());
    for (const auto& c : kColors) {
        sheet.replace(QLatin1Char('@') + QLatin1String(c.token) + QLatin1Char('@'),
                      QColor::fromRgb(c.rgb).name());
    }
    return sheet;
}

void CSkinTheme::InstallMenuLook(QApplication& app) {
    if (app.property("skinMenuLook").toBool()) return;
    app.setProperty("skinMenuLook", true);
    app.installEventFilter(new CMenuLookFilter(&app));
}

void CSkinTheme::Apply(QApplication& app) {
    InitSkinResources();
    app.setFont(UiFont(12));

    QPalette palette = app.palette();
    palette.setColor(QPalette::Window, Color(ESkinColor::kWindow));
    palette.setColor(QPalette::Base, Color(ESkinColor::kPanel));
    palette.setColor(QPalette::AlternateBase, QColor(0xf4, 0xf8, 0xfc));
    palette.setColor(QPalette::WindowText, Color(ESkinColor::kText));
    palette.setColor(QPalette::Text, Color(ESkinColor::kText));
    palette.setColor(QPalette::ButtonText, Color(ESkinColor::kText));
    palette.setColor(QPalette::Button, Color(ESkinColor::kPanel));
    palette.setColor(QPalette::Highlight, Color(ESkinColor::kSelection));
    palette.setColor(QPalette::HighlightedText, Color(ESkinColor::kSelectionText));
    palette.setColor(QPalette::PlaceholderText, Color(ESkinColor::kTextDim));
    app.setPalette(palette);

    app.setStyleSheet(StyleSheet());
    // The task bar and the notification area may be light: the icon brings its own face.
    app.setWindowIcon(Icon(QStringLiteral("tray")));
    InstallMenuLook(app);
}

bool CSkinTheme::Paint(QPainter& painter, const QRectF& rect, const QString& name) {
    QSvgRenderer* renderer = Renderer(name);
    if (!renderer) return false;
    renderer->render(&painter, rect);
    return true;
}

QPixmap CSkinTheme::Picture(const QString& name, const QSize& size, qreal devicePixelRatio) {
    QSvgRenderer* renderer = Renderer(name);
    if (!renderer || size.isEmpty() || devicePixelRatio <= 0) return {};
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer->render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QIcon CSkinTheme::Icon(const QString& name) {
    if (!Renderer(name)) return {};
    return QIcon(QStringLiteral(":/skin/%1.svg").arg(name));
}

QString CSkinTheme::Caption() { return QStringLiteral("Tavrin-手机管家"); }
