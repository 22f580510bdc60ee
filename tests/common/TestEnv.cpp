#include "TestEnv.h"

#include <cstdlib>
#include <unistd.h>

namespace {

QString& HomeDir()
{
    static QString home;
    return home;
}

} // namespace

void TestEnv::Isolate()
{
    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/aviro-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        qFatal("cannot create a test home");
    }
    HomeDir() = QString::fromLocal8Bit(pattern);
    const QByteArray home = pattern;
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home + "/config");
    qputenv("XDG_CACHE_HOME", home + "/cache");
    qputenv("XDG_DATA_HOME", home + "/data");
    qputenv("XDG_RUNTIME_DIR", home + "/runtime");
    QDir().mkpath(HomeDir() + "/runtime");
    QFile::setPermissions(HomeDir() + "/runtime",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    std::atexit([] {
        if (qEnvironmentVariableIsEmpty("AVIRO_KEEP_TEST_HOME")) {
            QDir(HomeDir()).removeRecursively();
        }
    });
}

QString TestEnv::Home()
{
    return HomeDir();
}

QString TestEnv::SettingsFile()
{
    return HomeDir() + "/config/VOMO/Vomo Skyworks.ini";
}

QString TestEnv::BinDir()
{
    return QStringLiteral(AVIRO_BIN_DIR);
}

void TestEnv::InstallEnglish()
{
    static QTranslator english;
    if (english.isEmpty()) {
        QVERIFY(english.load(":/Language/avirolauncher_en.qm"));
    }
    QCoreApplication::installTranslator(&english);
}

bool TestEnv::WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

void TestEnv::UseNoServers()
{
    QSettings settings(SettingsFile(), QSettings::IniFormat);
    settings.beginGroup("Servers");
    for (const char* name : {"Account", "AccountWeb", "Store", "Statistics", "Documents", "Faq"}) {
        settings.setValue(name, "https://127.0.0.1:9");
    }
}

QString TestEnv::Package(const QString& version)
{
    return CatalogueDir() + "/files/packages/SkyTrainer_" + QString(version).replace('.', '_') +
           (version == "1.0.2.0" ? ".zip" : ".7z");
}

bool TestEnv::Unpack(const QString& location, const QStringList& versions)
{
    QDir().mkpath(location);
    for (const QString& version : versions) {
        QProcess unpack;
        unpack.setWorkingDirectory(location);
        unpack.start("7z", {"x", "-aoa", Package(version)});
        if (!unpack.waitForFinished(30000) || unpack.exitCode() != 0) {
            return false;
        }
    }
    return true;
}

void TestEnv::ForgetStoredKeys()
{
    QSettings settings(SettingsFile(), QSettings::IniFormat);
    for (const QString& key : settings.childKeys()) {
        settings.remove(key);
    }
}
