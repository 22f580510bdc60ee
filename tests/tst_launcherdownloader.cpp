#include "DownFileMeta.h"
#include "LauncherDownloader.h"
#include "Outcome.h"
#include "Sandbox.h"
#include "Services.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

// The launcher's own update (a Debian package here), fetched into the user's download folder and verified.
class TestLauncherDownloader : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir served;
    Services services;
    RamDB* db = &services.db;
    std::unique_ptr<LauncherDownloader> launcher;
    QString md5;
    static constexpr qint64 kSize = 250000;
    const QString name = "avirolauncher_2.1.0.2-1_all.deb";

    QString Target() const
    {
        return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) + "/" + name;
    }

    // The Range header of every GET.
    QStringList Ranges() { return sandbox.Gets("files").replaceInStrings(QRegularExpression("^\\S+ "), ""); }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        md5 = Payload::Write(served.path() + "/" + name, kSize);
        QVERIFY(sandbox.Start(QJsonObject(), served.path()));
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
        launcher = services.Make<LauncherDownloader>();
    }

    // A fresh profile has no download folder: it is made. A complete setup on disk is only verified.
    void downloadThenVerify_data()
    {
        Columns<qint64, QStringList>({"onDisk", "gets"});
        Row("nothing on disk", qint64(0), QStringList{"bytes=0-"});
        Row("complete file on disk", kSize, QStringList());
    }
    void downloadThenVerify()
    {
        auto [onDisk, gets] = Fetch<qint64, QStringList>({"onDisk", "gets"});
        QVERIFY(onDisk == 0 || WritePrefix(Target(), kSize, onDisk));
        QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
        QSignalSpy progress(launcher.get(), &LauncherDownloader::Progress);
        launcher->Start();
        QCOMPARE(db->GetBool(IS_LAUNCHER_DOWNLOADING), true);
        QCOMPARE(db->GetString(DOWNLOAD_LAUNCHER_VERSION), QString("2.1.0.2"));
        QVERIFY(finish.wait(15000));
        QCOMPARE(finish.at(0).at(0).toBool(), true);
        QCOMPARE(Ranges(), gets);
        QCOMPARE(db->GetString(LAUNCHER_SETUP_PATH), Target());
        QCOMPARE(db->GetBool(IS_LAUNCHER_DOWNLOADING), false);
        QCOMPARE(db->GetString(DOWNLOAD_LAUNCHER_VERSION), QString());
        QCOMPARE(Payload::Md5OfFile(Target()), md5);
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toFloat(), 1.0f);
    }

    // Every failure tells the interface that nothing runs any more (it shows a download until then), and
    // the user gets on: a broken transfer by resuming from the bytes on disk, the rest by starting again.
    void failuresEndTheRunningState_data()
    {
        Columns<QString, QString, QJsonObject, QString>({"kind", "file", "fault", "reason"});
        const QJsonObject none;
        Row("size query fails", "size", "nothing.deb", none, "Network Error\nError: 003_000 {203/0031}");
        Row("unsafe name", "name", "..%2F..%2F.bashrc", none,
            "Invalid package file name\nError: 003_006 {000/0152}");
        Row("nothing to resume", "resume", name, none, "Nothing to download\nError: 003_007 {000/0170}");
        Row("digest mismatch", "digest", name, none, "File verification fails\nError: 000_001 {000/0057}");
        Row("broken transfer", "drop", name,
            QJsonObject{{"method", "GET"}, {"dropAfter", 120000}, {"times", 1}}, "");
        // Stalled after 40 % of the setup, so that the progress shows whether it goes as a fraction.
        Row("long slowness", "slow", name,
            QJsonObject{{"method", "GET"}, {"stallAfter", 100000}, {"stallMs", 20000}},
            "Download speed slow,please check your internet connection.\nError: 002_000 {000/0114}");
    }
    void failuresEndTheRunningState()
    {
        QFETCH(QString, kind);
        QFETCH(QString, file);
        QFETCH(QJsonObject, fault);
        QFETCH(QString, reason);
        QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
        QSignalSpy state(launcher.get(), &LauncherDownloader::StateChanged);
        QSignalSpy progress(launcher.get(), &LauncherDownloader::Progress);
        db->SetString(NEWEST_LAUNCHER_URL, sandbox.Origin("files") + "/files/" + file);
        if (kind == "digest") {
            QVERIFY(WritePrefix(Target(), kSize, kSize));
            db->SetString(NEWEST_LAUNCHER_MD5, "ffffffffffffffffffffffffffffffff");
        }
        sandbox.AddFault("files", "/files/*", fault);
        kind == "resume" ? launcher->SwitchDownload(false) : launcher->Start();
        if (kind == "slow") {
            // The bytes before the stall are on disk before the watchdog gives up on the rest.
            QVERIFY(TestEnv::WaitFor([&] {
                return !launcher->Records().isEmpty() &&
                       launcher->Records().first()->downloadedSize == 100000;
            }));
            // The first tick still counts the bytes before the stall as speed.
            for (int i = 0; i < 32 && finish.isEmpty(); ++i) {
                launcher->Statistics()->Step(6001);
            }
            QVERIFY(!progress.isEmpty());
            QCOMPARE(progress.last().at(0).toFloat(), 0.4f);
        }
        QVERIFY(TestEnv::WaitFor([&] { return !finish.isEmpty(); }, 15000));
        QCOMPARE(finish.count(), 1);
        QCOMPARE(finish.at(0).at(0).toBool(), false);
        if (!reason.isEmpty()) {
            QCOMPARE(finish.at(0).at(1).toString(), reason);
        }
        QVERIFY(!state.isEmpty());
        QCOMPARE(state.last().at(0).toBool(), false);
        QCOMPARE(db->GetBool(IS_LAUNCHER_DOWNLOADING), false);
        QVERIFY(!launcher->Statistics()->IsRunning());
        if (kind == "name") {
            QCOMPARE(sandbox.Requests("files").size(), 0);
        }
        if (kind == "digest") {
            // A rejected setup goes, or every retry would find it complete and fail again.
            QCOMPARE(db->GetString(LAUNCHER_SETUP_PATH), QString());
            QVERIFY(!QFileInfo::exists(Target()));
        }

        db->SetString(NEWEST_LAUNCHER_URL, sandbox.Origin("files") + "/files/" + name);
        db->SetString(NEWEST_LAUNCHER_MD5, md5);
        const qint64 kept = QFileInfo(Target()).size();
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        // A broken transfer goes on from the bytes on disk; the rest start again.
        if (kind == "drop" || kind == "slow") {
            QVERIFY(kept > 0);
            launcher->SwitchDownload(false);
        } else {
            launcher->Start();
        }
        QVERIFY(finish.wait(15000));
        QCOMPARE(finish.last().at(0).toBool(), true);
        QCOMPARE(Ranges(), QStringList{QString("bytes=%1-").arg(kept)});
        QCOMPARE(Payload::Md5OfFile(Target()), md5);
    }

    void pauseAndResumeFromDisk()
    {
        sandbox.AddFault("files", "/files/*", {{"method", "GET"}, {"throttle", 100000}});
        QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
        QSignalSpy state(launcher.get(), &LauncherDownloader::StateChanged);
        launcher->Start();
        QVERIFY(
            TestEnv::WaitFor([&] { return launcher->State() == 2 && QFileInfo(Target()).size() > 20000; }));
        launcher->SwitchDownload(true);
        QVERIFY(!state.isEmpty());
        QCOMPARE(state.last().at(0).toBool(), false);
        const qint64 paused = QFileInfo(Target()).size();
        sandbox.ClearFaults();
        launcher->SwitchDownload(false);
        QVERIFY(finish.wait(15000));
        QCOMPARE(finish.last().at(0).toBool(), true);
        QCOMPARE(Ranges(), (QStringList{"bytes=0-", QString("bytes=%1-").arg(paused)}));
    }
};

AVIRO_TEST_MAIN(TestLauncherDownloader)
#include "tst_launcherdownloader.moc"
