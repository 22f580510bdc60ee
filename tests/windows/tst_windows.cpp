// What only the Windows build does: the platform layer's Windows branches, the settings file's place, and the
// trust of the configured CA under Schannel. Run under Wine, where Wine differs from Windows the test says
// so.
#include "CrmService.h"
#include "GameLauncher.h"
#include "Platform.h"
#include "RestClient.h"
#include "ServerConfig.h"
#include "Services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QSettings>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <windows.h>

class TestWindows : public QObject
{
    Q_OBJECT
private:
    // The chain the account server presents, as the launcher receives it.
    static QList<QSslCertificate> ServerChain()
    {
        QNetworkAccessManager manager;
        QList<QSslCertificate> chain;
        QObject::connect(&manager, &QNetworkAccessManager::sslErrors, [&](QNetworkReply* reply) {
            chain = reply->sslConfiguration().peerCertificateChain();
        });
        ServerConfig::InstallTrust(&manager);
        ServerConfig::InstallTrust();
        QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(ServerConfig::Account() + "/")));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        finished.wait(20000);
        if (chain.isEmpty()) {
            chain = reply->sslConfiguration().peerCertificateChain();
        }
        delete reply;
        return chain;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!ServerConfig::CaCertificates().isEmpty(), "the sandbox's CA is not configured");
    }

    void platform_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        // Windows 10 and 11 both say 10 (Wine as scripts/test-windows sets it up; by default it says 7).
        QTest::newRow("os name") << Platform::OsName() << "windows";
        QTest::newRow("os version") << Platform::OsVersion() << "10";
        QTest::newRow("game location") << Platform::DefaultGameLocation() << "D:/QRT";
        QTest::newRow("extractor") << Platform::ExtractorProgram() << "./7z.exe";
        QTest::newRow("user") << Platform::UserName() << qEnvironmentVariable("USERNAME");
        // The settings file roams with the user.
        const QSettings settings(QSettings::IniFormat, QSettings::UserScope, "VOMO", "Vomo Skyworks");
        QTest::newRow("settings file")
            << settings.fileName()
            << QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).section('/', 0, -2) +
                   "/Roaming/VOMO/Vomo Skyworks.ini";
    }
    void platform()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(value, expected);
    }

    // Windows' own folder dialog, which Qt's file selector picks here, loads and opens in the home folder.
    void folderPicker()
    {
        QQmlApplicationEngine engine;
        QList<QQmlError> warnings;
        QObject::connect(&engine, &QQmlEngine::warnings,
                         [&](const QList<QQmlError>& list) { warnings += list; });
        QQmlComponent component(&engine, QUrl("qrc:/FrontEnd/Widget/FolderPicker.qml"));
        std::unique_ptr<QObject> picker(component.create());
        QVERIFY2(picker, qPrintable(component.errorString()));
        QCOMPARE(QString(picker->metaObject()->superClass()->className()), "QQuickPlatformFolderDialog");
        QCOMPARE(picker->property("currentFolder").toUrl(),
                 QUrl::fromLocalFile(QStandardPaths::writableLocation(QStandardPaths::HomeLocation)));
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.value(0).toString()));
    }

    void processExists()
    {
        QVERIFY(Platform::ProcessExists(qint64(GetCurrentProcessId())));
        QVERIFY(!Platform::ProcessExists(0));
        QProcess ended;
        ended.start("cmd", {"/c", "exit"});
        QVERIFY(ended.waitForStarted());
        const qint64 pid = ended.processId();
        QVERIFY(ended.waitForFinished());
        QVERIFY(!Platform::ProcessExists(pid));
    }

    // The launcher hands a newer setup program to the desktop, which runs it: a program here, the sandbox
    // game, which records its start beside itself.
    void desktopRunsAProgram()
    {
        const QString dir = QCoreApplication::applicationDirPath();
        QVERIFY(QFileInfo::exists(dir + "/SandboxGame.exe"));
        QFile log(dir + "/sandbox-game.log");
        log.remove();
        QVERIFY(QDesktopServices::openUrl(QUrl::fromLocalFile(dir + "/SandboxGame.exe")));
        QTRY_VERIFY_WITH_TIMEOUT(log.size() > 0, 20000);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(log.readLine()).object().value("event").toString(), "start");
    }

    // The installed game starts as <product>\<name>.exe in its folder, told the interface language, and asks
    // the launcher's channel for its settings.
    void gameStartsAsExe()
    {
        QTemporaryDir root;
        Services services;
        CrmService crm;
        crm.registry = &services.registry;
        services.registry.Register(&crm);
        GameLauncher launcher;
        launcher.SetRegistry(&services.registry);
        QString error;
        QVERIFY2(launcher.InitChannel(error), qPrintable(error));
        const QString game = root.path() + "/SkyTrainer";
        QVERIFY(QDir().mkpath(game));
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/SandboxGame.exe",
                            game + "/SkyTrainer.exe"));
        // The stand-in game finds Qt's DLLs beside this program (the real game brings its own).
        qputenv("PATH", QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toLocal8Bit() + ";" +
                            qgetenv("PATH"));
        services.db.SetString(GAME_LOCATION, root.path());
        services.db.SetString(PRODUCT_CODE, "SkyTrainer");
        services.db.SetInt(MULTI_LANG, 4);
        QVERIFY(launcher.IsInstalled(QString()));
        launcher.Launch();
        QTRY_VERIFY_WITH_TIMEOUT(!services.db.GetBool(IS_RUNNING_GAME), 30000);
        QFile log(game + "/sandbox-game.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QJsonObject start = QJsonDocument::fromJson(log.readLine()).object();
        QCOMPARE(start.value("args").toArray(), QJsonArray{"-culture=ko"});
        QCOMPARE(QDir(start.value("cwd").toString()).canonicalPath(), QDir(game).canonicalPath());
        QVERIFY(log.readAll().contains(R"("cmd":"settingReq","imageQuality")"));
    }

    // A request of the launcher's reaches the sandbox, whose certificate chains to the configured CA only.
    void configuredCaIsTrusted()
    {
        RestClient client;
        bool done = false;
        int status = 0;
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        ReplyCallbacks callbacks;
        callbacks.rawCallback = [&](bool, QNetworkReply* reply) {
            status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            error = reply->error();
            done = true;
        };
        client.Get(ServerConfig::Account() + "/apis/apprest/v1/vcode", {{"srandom", "1234"}}, callbacks);
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        QCOMPARE(error, QNetworkReply::NoError);
        QCOMPARE(status, 200);
    }

    void chainsToRoot_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("withCa");
        QTest::addColumn<bool>("trusted");
        QTest::newRow("its address") << "127.0.0.1" << true << true;
        QTest::newRow("its name") << "LocalHost" << true << true;
        QTest::newRow("another address") << "127.0.0.2" << true << false;
        QTest::newRow("another name") << "example.com" << true << false;
        QTest::newRow("its own certificate for a root") << "127.0.0.1" << false << false;
    }
    void chainsToRoot()
    {
        QFETCH(QString, host);
        QFETCH(bool, withCa);
        QFETCH(bool, trusted);
        const QList<QSslCertificate> chain = ServerChain();
        QVERIFY(!chain.isEmpty());
        const QList<QSslCertificate> roots =
            withCa ? QSslCertificate::fromPath(ServerConfig::CaCertificates(), QSsl::Pem) : chain.mid(0, 1);
        QCOMPARE(Platform::ChainsToRoot(chain, host, roots), trusted);
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
