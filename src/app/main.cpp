#include <QApplication>
#include <QGuiApplication>
#include <QStringList>

#include "app/screenshots.h"
#include "app/zp_skin_lib_app.h"
#include "dialogs/message_box.h"
#include "skin/skin_theme.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CSkinTheme::Apply(app);

    // Without a screen nobody can answer a message box: report it and answer as if closed.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        CZPMessageScript::SetHeadless(true);
    }

    // Developer option: render the windows into PNG files and end.
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--screenshot"));
    if (at >= 0) {
        if (at + 1 >= args.size()) return 2;
        return WriteScreenshots(args.at(at + 1)) == 0 ? 0 : 1;
    }

    CZpSkinLibApp program(app);
    return program.Run();
}
