#include "AccessibleItem.h"
#include "BackEnd.h"
#include "QmlNetMngFactory.h"
#include "SingleApplication.h"

#include <QFont>
#include <QMessageBox>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQuickStyle>

#include <memory>

int main(int argc, char* argv[])
{
    // Drawn at the desktop's scale (Xft.dpi, the Windows display setting), in whole steps: fractions leave
    // seams between Qt Quick items, and the 1280x800 window must still fit where the desktop scales by 150 %
    // (that and a screen's own stray DPI, 100 on some X servers, draw at 1; 175 % and 200 % at 2). The
    // pictures carry twice their shown size, so they stay sharp at 2.
    QGuiApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::RoundPreferFloor);
    // Qt Quick packs small pictures into one texture sized after the screen (8 MB at 1280 x 800); ours, the
    // icons and the captcha, fit one of 512 x 512. Software OpenGL keeps textures in the process's memory.
    for (const char* side : {"QSG_ATLAS_WIDTH", "QSG_ATLAS_HEIGHT"}) {
        if (!qEnvironmentVariableIsSet(side)) {
            qputenv(side, "512");
        }
    }
    SingleApplication app(argc, argv, false, SingleApplication::UserScope, 100);
    // The installed desktop entry, so that desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.vomoskyworks.AviroLauncher"));

    auto backEnd = std::make_unique<BackEnd>(&app);
    QString error;
    if (!backEnd->Init(error)) {
        QMessageBox box(QMessageBox::Critical, QObject::tr("无法启动"), error, QMessageBox::Close);
        box.exec();
        return -1;
    }

    QFont font(QStringLiteral("microsoft yahei"));
    QApplication::setFont(font);
    QQuickStyle::setStyle(QStringLiteral("Material"));

    // The engine keeps using the factory until the process ends.
    static QmlNetMngFactory netFactory;
    auto engine = std::make_unique<QQmlApplicationEngine>();
    engine->setNetworkAccessManagerFactory(&netFactory);
    {
        // Qt Quick installs its accessibility factory when it is first imported; ours, installed after it, is
        // asked first (a screen reader present at start asks for the items while the window loads).
        QQmlComponent quick(engine.get());
        quick.setData("import QtQuick 2.15\nQtObject {}", QUrl());
        AccessibleItem::Install();
    }
    engine->load(QUrl(QStringLiteral("qrc:/FrontEnd/main.qml")));

    int status = -1;
    if (!engine->rootObjects().isEmpty()) {
        status = QApplication::exec();
    }
    engine.reset();
    backEnd.reset();
    return status;
}
