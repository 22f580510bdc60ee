#include "FuzzEnv.h"

#include "ObjectRegistry.h"
#include "RamDB.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdlib>

namespace FuzzEnv {

ObjectRegistry& Init(int* argc, char*** argv)
{
    static QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    {
        QSettings settings(SettingsFile(), QSettings::IniFormat);
        for (const char* name : {"Account", "AccountWeb", "Store", "Statistics", "Documents", "Faq"}) {
            settings.setValue(QStringLiteral("Servers/") + QLatin1String(name), "https://127.0.0.1:9");
        }
    }
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    static QCoreApplication app(*argc, *argv);
    static RamDB db;
    static ObjectRegistry registry;
    registry.Register(&db);
    return registry;
}

QString SettingsFile()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/VOMO/Vomo Skyworks.ini");
}

void Settle()
{
    // Qt's network statics, made on the first request, are torn down at exit while their own thread still
    // runs, and crash there; the fuzzer has reported all it had to by then, so the process ends first.
    static const bool endBeforeQtStatics = std::atexit([] { std::_Exit(0); }) == 0;
    Q_UNUSED(endBeforeQtStatics)
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace FuzzEnv
