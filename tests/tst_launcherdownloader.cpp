#include "DownFileMeta.h"
#include "LauncherDownloader.h"
#include "ObjectRegistry.h"
#include "PathMng.h"
#include "Payload.h"
#include "RamDB.h"
#include "Sandbox.h"
#include "TestEnv.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

// The launcher's own setup, fetched into the user's download folder and verified.
class TestLauncherDownloader : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir served;
    ObjectRegistry registry;
    RamDB* db = nullptr;
    PathMng paths;
    std::unique_ptr<LauncherDownloader> launcher;
    QString md5;
    static constexpr qint64 kSize = 250000;
    const QString name = "AviroLauncherSetup_2.1.0.2.run";

    QString Target() const
    {
        return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) + "/" + name;
    }

    QStringList Gets()
    {
        QStringList gets;
        for (const QJsonValue& request : sandbox.Requests("files")) {
            if (request.toObject().value("method").toString() == "GET") {
                gets << request.toObject().value("headers").toObject().value("Range").toString();
            }
        }
        return gets;
    }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        md5 = Payload::Write(served.path() + "/" + name, kSize);
        QVERIFY(sandbox.Start(QJsonObject(), served.path()));
        db = new RamDB(this);
        registry.RegisterObject("RamDB", db);
        registry.RegisterObject("PathMng", &paths);
        paths.registry = &registry;
        launcher = std::make_unique<LauncherDownloader>();
        launcher->registry = &registry;
        db->SetString(NEWEST_LAUNCHER_VERSION, "2.1.0.2");
    }

    // Every case starts without the user's download folder: a fresh profile has none.
    void init()
    {
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        QDir(QFileInfo(Target()).absolutePath()).removeRecursively();
        db->SetString(NEWEST_LAUNCHER_URL, sandbox.Origin("files") + "/files/" + name);
        db->SetString(NEWEST_LAUNCHER_MD5, md5);
        db->SetString(LAUNCHER_SETUP_PATH, "");
    }

    void emptyListBeforeStart()
    {
        QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
        launcher->SwitchDownload(false);
        QCOMPARE(finish.count(), 1);
        QCOMPARE(finish.at(0).at(1).toString(), QString("Nothing to download\nError: 003_007 {000/0170}"));
        QCOMPARE(launcher->State(), 0);
    }

    void downloadThenVerify()
    {
        QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
        QSignalSpy progress(launcher.get(), &LauncherDownloader::Progress);
        QSignalSpy hint(launcher.get(), &LauncherDownloader::HintInfo);
        launcher->Start();
        QCOMPARE(db->GetBool(IS_LAUNCHER_DOWNLOADING), true);
        QCOMPARE(db->GetString(DOWNLOAD_LAUNCHER_VERSION), QString("2.1.0.2"));
        QVERIFY(finish.wait(15000));
        QCOMPARE(finish.at(0).at(0).toBool(), true);
        QCOMPARE(db->GetString(LAUNCHER_SETUP_PATH), Target());
        QCOMPARE(db->GetBool(IS_LAUNCHER_DOWNLOADING), false);
        QCOMPARE(db->GetString(DOWNLOAD_LAUNCHER_VERSION), QString());
        QCOMPARE(Payload::Md5OfFile(Target()), md5);
        QCOMPARE(hint.last().at(0).toString(), QString("Verifying:2.1.0.2"));
        QCOMPARE(progress.last().at(0).toFloat(), 1.0f);
        QCOMPARE(launcher->State(), 4);
        QTest::ignoreMessage(QtDebugMsg, "[Warn] Is Checking downfile, canel/resume is useless.");
        launcher->SwitchDownload(true);
        QTest::ignoreMessage(QtDebugMsg, "[Warn] Is Checking downfile, canel/resume is useless.");
        launcher->SwitchDownload(false);
    }

    void completeFileIsVerifiedAtOnce()
    {
        QDir().mkpath(QFileInfo(Target()).absolutePath());
        QVERIFY(QFile::copy(served.path() + "/" + name, Target()));
        QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
        launcher->Start();
        QVERIFY(finish.wait(15000));
        QCOMPARE(finish.at(0).at(0).toBool(), true);
        QCOMPARE(Gets(), QStringList());
    }

    // A setup that is not the announced one is removed, so that the retry fetches it again.
    void digestMismatchRemovesTheSetup()
    {
        QDir().mkpath(QFileInfo(Target()).absolutePath());
        QVERIFY(QFile::copy(served.path() + "/" + name, Target()));
        db->SetString(NEWEST_LAUNCHER_MD5, "ffffffffffffffffffffffffffffffff");
        QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
        launcher->Start();
        QVERIFY(finish.wait(15000));
        QCOMPARE(finish.at(0).at(0).toBool(), false);
        QCOMPARE(finish.at(0).at(1).toString(),
                 QString("File verification fails\nError: 000_001 {000/0057}"));
        QCOMPARE(db->GetString(LAUNCHER_SETUP_PATH), QString());
        QVERIFY(!QFileInfo::exists(Target()));

        db->SetString(NEWEST_LAUNCHER_MD5, md5);
        launcher->Start();
        QVERIFY(finish.wait(15000));
        QCOMPARE(finish.at(1).at(0).toBool(), true);
        QCOMPARE(Gets(), QStringList{"bytes=0-"});
        QCOMPARE(Payload::Md5OfFile(Target()), md5);
    }

    void pauseAndResumeFromDisk()
    {
        sandbox.AddFault("files", "/files/*", {{"method", "GET"}, {"throttle", 100000}});
        QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
        QSignalSpy state(launcher.get(), &LauncherDownloader::StateChanged);
        QSignalSpy hint(launcher.get(), &LauncherDownloader::HintInfo);
        QSignalSpy progress(launcher.get(), &LauncherDownloader::Progress);
        launcher->Start();
        QVERIFY(
            TestEnv::WaitFor([&] { return launcher->State() == 2 && QFileInfo(Target()).size() > 20000; }));
        launcher->SwitchDownload(true);
        QCOMPARE(launcher->State(), 0);
        QCOMPARE(state.last().at(0).toBool(), false);
        QCOMPARE(hint.last().at(0).toString(), QString("Pause"));
        const qint64 paused = QFileInfo(Target()).size();
        sandbox.ClearFaults();
        launcher->Statistics()->Step(600);
        launcher->SwitchDownload(false);
        QCOMPARE(launcher->State(), 2);
        QVERIFY(finish.wait(15000));
        QCOMPARE(finish.last().at(0).toBool(), true);
        QCOMPARE(Gets(), (QStringList{"bytes=0-", QString("bytes=%1-").arg(paused)}));
        for (const QList<QVariant>& value : progress) {
            QVERIFY(value.at(0).toFloat() >= 0.0f && value.at(0).toFloat() <= 1.0f);
        }
    }

    void halfwayProgressIsAFraction()
    {
        QDir().mkpath(QFileInfo(Target()).absolutePath());
        QFile half(Target());
        QVERIFY(half.open(QIODevice::WriteOnly));
        half.write(Payload::Bytes(kSize).left(kSize / 2));
        half.close();
        sandbox.AddFault("files", "/files/*", {{"method", "GET"}, {"stallMs", 3000}});
        QSignalSpy progress(launcher.get(), &LauncherDownloader::Progress);
        QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
        launcher->Start();
        QVERIFY(TestEnv::WaitFor([&] { return launcher->State() == 2; }));
        launcher->Statistics()->Step(600);
        QCOMPARE(progress.last().at(0).toFloat(), 0.5f);
        QVERIFY(finish.wait(15000));
    }

    void longSlownessEndsTheDownload()
    {
        sandbox.AddFault("files", "/files/*", {{"method", "GET"}, {"stallAfter", 1000}, {"stallMs", 20000}});
        QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
        QSignalSpy state(launcher.get(), &LauncherDownloader::StateChanged);
        launcher->Start();
        QVERIFY(TestEnv::WaitFor([&] { return !Gets().isEmpty(); }));
        for (int i = 0; i < 31 && finish.isEmpty(); ++i) {
            launcher->Statistics()->Step(6001);
        }
        QCOMPARE(finish.count(), 1);
        QVERIFY(finish.at(0).at(1).toString().endsWith("\nError: 002_000 {000/0114}"));
        QCOMPARE(state.last().at(0).toBool(), false);
        QCOMPARE(db->GetBool(IS_LAUNCHER_DOWNLOADING), false);
        QVERIFY(!launcher->Statistics()->IsRunning());
        const int requests = sandbox.Requests("files").size();
        QTest::qWait(300);
        QCOMPARE(sandbox.Requests("files").size(), requests);
    }

    void failedSizeQuery()
    {
        db->SetString(NEWEST_LAUNCHER_URL, sandbox.Origin("files") + "/files/nothing.run");
        QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
        launcher->Start();
        QVERIFY(finish.wait(15000));
        QCOMPARE(finish.at(0).at(1).toString(), QString("Network Error\nError: 003_000 {203/0031}"));
        QCOMPARE(db->GetBool(IS_LAUNCHER_DOWNLOADING), false);
    }

    void unsafeName()
    {
        db->SetString(NEWEST_LAUNCHER_URL, sandbox.Origin("files") + "/files/..%2F..%2F.bashrc");
        QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
        launcher->Start();
        QCOMPARE(finish.count(), 0);
        QVERIFY(finish.wait(2000));
        QCOMPARE(finish.at(0).at(1).toString(),
                 QString("Invalid package file name\nError: 003_006 {000/0152}"));
        QCOMPARE(sandbox.Requests("files").size(), 0);
    }
};

AVIRO_TEST_MAIN(TestLauncherDownloader)
#include "tst_launcherdownloader.moc"
