// What only the Windows build does: the platform layer's Windows branches, the settings file's place, and the
// trust of the configured CA under Schannel, one launcher per user and program. Run under Wine, where Wine
// differs from Windows the test says so.
#include "ChainCases.h"
#include "CrmService.h"
#include "DesktopOpener.h"
#include "GameLauncher.h"
#include "Platform.h"
#include "RestClient.h"
#include "ServerConfig.h"
#include "Services.h"

#include <QtTest>

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QNetworkReply>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QSslCertificate>

#include <memory>
#include <vector>
#include <windows.h>

class TestWindows : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir probes;
    std::vector<std::unique_ptr<QProcess>> running;

    // The single-instance probe, copied into a folder of the test's and started by the given path; it finds
    // the program's DLLs and plugins beside this suite.
    QProcess* StartProbe(const QString& folder)
    {
        const QString dir = QCoreApplication::applicationDirPath();
        QDir().mkpath(probes.path() + "/" + folder);
        const QString program = probes.path() + "/" + folder + "/singleapp_probe.exe";
        QFile::copy(dir + "/singleapp_probe.exe", program);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PATH", QDir::toNativeSeparators(dir) + ";" + environment.value("PATH"));
        environment.insert("QT_PLUGIN_PATH", dir + "/plugins");
        running.push_back(std::make_unique<QProcess>());
        running.back()->setProcessEnvironment(environment);
        running.back()->start(program, QStringList());
        return running.back().get();
    }

    // "PRIMARY <pid> <key>" from a start that runs, "INSTANCE_STARTED" when it hears of a later one.
    static QStringList FirstLine(QProcess* process)
    {
        while (!process->canReadLine() && process->waitForReadyRead(20000)) {
        }
        return QString::fromLatin1(process->readLine()).trimmed().split(' ');
    }

    // The chain the account server presents, as the launcher receives it.
    static QList<QSslCertificate> ServerChain()
    {
        QNetworkAccessManager manager;
        QList<QSslCertificate> chain;
        QObject::connect(&manager, &QNetworkAccessManager::sslErrors, [&](QNetworkReply* reply) {
            chain = reply->sslConfiguration().peerCertificateChain();
        });
        ServerConfig::InstallTrust(&manager);
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

    void cleanup()
    {
        for (auto& process : running) {
            process->kill();
            process->waitForFinished(10000);
        }
        running.clear();
    }

    // A later start of the same program, by any letter case of its path, tells the first and ends; one from
    // another folder runs beside the first. Another user's start is checked by scripts/test-windows: Wine
    // takes the user's name from the Unix process that `wine` starts, and Windows processes pass theirs on.
    void laterStart_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("ownPrimary");
        QTest::newRow("the same path") << "a" << false;
        QTest::newRow("the same path in capitals") << "A" << false;
        QTest::newRow("another folder") << "b" << true;
    }
    void laterStart()
    {
        QFETCH(QString, folder);
        QFETCH(bool, ownPrimary);
        QProcess* first = StartProbe("a");
        const QStringList primary = FirstLine(first);
        QCOMPARE(primary.value(0), QString("PRIMARY"));
        QProcess* other = StartProbe(folder);
        if (ownPrimary) {
            const QStringList second = FirstLine(other);
            QCOMPARE(second.value(0), QString("PRIMARY"));
            QVERIFY(second.value(2) != primary.value(2));
        } else {
            QVERIFY2(other->waitForFinished(20000), "a later start kept running");
            QCOMPARE(other->exitStatus(), QProcess::NormalExit);
            QCOMPARE(other->exitCode(), 0);
            QCOMPARE(other->readAllStandardOutput(), QByteArray());
            QCOMPARE(FirstLine(first).value(0), QString("INSTANCE_STARTED"));
        }
        QCOMPARE(first->state(), QProcess::Running);
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

    // The launcher's font is one with Chinese: Windows' own "Microsoft YaHei", under Wine the font that
    // scripts/wine-env puts in its place (without it Wine gives a serif font, and Chinese comes from others).
    void chineseFont()
    {
        const QFontInfo font(QFont(QStringLiteral("microsoft yahei")));
        QVERIFY2(QFontDatabase().writingSystems(font.family()).contains(QFontDatabase::SimplifiedChinese),
                 qPrintable(font.family()));
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

    // The launcher's update hands its setup program to the shell, which runs it silently and told to start
    // the new launcher: a program here, the sandbox game, which records its start and arguments beside
    // itself. A file that is not there is the launcher's to report, with the shell's error.
    void desktopRunsTheSetup()
    {
        const QString dir = QCoreApplication::applicationDirPath();
        QVERIFY(QFileInfo::exists(dir + "/SandboxGame.exe"));
        QFile log(dir + "/sandbox-game.log");
        log.remove();
        DesktopOpener desktop;
        QSignalSpy opened(&desktop, &DesktopOpener::Opened);
        QSignalSpy failed(&desktop, &DesktopOpener::Failed);
        desktop.Open(dir + "/SandboxGame.exe");
        QVERIFY(opened.wait(20000));
        QTRY_VERIFY_WITH_TIMEOUT(log.size() > 0, 20000);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QJsonObject start = QJsonDocument::fromJson(log.readLine()).object();
        QCOMPARE(start.value("event").toString(), "start");
        QCOMPARE(start.value("args").toArray(), (QJsonArray{"/S", "/Start"}));

        desktop.Open(dir + "/missing-setup.exe");
        QVERIFY(failed.wait(20000));
        QCOMPARE(failed.at(0).at(0).toInt(), int(ERROR_FILE_NOT_FOUND));
        QCOMPARE(opened.count(), 1);
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

    void chainsToRoot_data() { ChainCases(); }
    void chainsToRoot() { CheckChainCase(ServerChain(), ServerConfig::CaCertificates()); }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
