#include <QApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>
#include <cstdio>

#include "app/screenshots.h"
#include "app/zp_skin_lib_app.h"
#include "dialogs/message_box.h"
#include "skin/skin_theme.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CSkinTheme::Apply(app);

    // Qt's own windows (the file and print dialogs, the buttons of its message boxes) in the
    // language of the system; a missing translation leaves them in English.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslator);

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

    // The ports of the login and the service server, for a service that does not listen on
    // the usual ones (a local test server).
    int ports[2] = {kavo::CKavoTcpClient::kLoginPort, kavo::CKavoTcpClient::kServicePort};
    const char* portOptions[2] = {"--login-port", "--service-port"};
    for (int i = 0; i < 2; ++i) {
        const qsizetype opt = args.indexOf(QString::fromLatin1(portOptions[i]));
        if (opt < 0) continue;
        bool ok = false;
        const int port = opt + 1 < args.size() ? args.at(opt + 1).toInt(&ok) : 0;
        if (!ok || port <= 0 || port > 65535) {
            std::fprintf(stderr, "kavo: %s needs a port number\n", portOptions[i]);
            return 2;
        }
        ports[i] = port;
    }
    CZpSkinLibApp::Client().SetPorts(ports[0], ports[1]);

    CZpSkinLibApp program(app);
    return program.Run();
}
