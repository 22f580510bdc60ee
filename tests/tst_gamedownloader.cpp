#include "DownFileMeta.h"
#include "GameDownloader.h"
#include "Outcome.h"
#include "Sandbox.h"
#include "Services.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>

// The game's packages downloaded from the sandbox into the download cache, as the store listed them.
class TestGameDownloader : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir served;
    QTemporaryDir location;
    Services services;
    RamDB* db = &services.db;
    std::unique_ptr<GameDownloader> games;
    const QStringList names{"base_1.0.7z", "patch_1.1.7z", "patch_1.2.zip"};
    const QList<qint64> sizes{200000, 150000, 100000};
    QStringList digests;

    QString Cache(const QString& name) const { return services.paths.CacheFilePath(name); }

    QJsonArray SetupList(const QStringList& files) const
    {
        QJsonArray list;
        for (const QString& name : files) {
            const int i = names.indexOf(name);
            list.append(QJsonObject{{"packageurl", sandbox.Origin("files") + "/files/" + name},
                                    {"version", QString("1.%1").arg(i)},
                                    {"md5", i >= 0 ? digests.at(i) : QString()}});
        }
        return list;
    }

    // Runs Start() to its Finish; the StateChanged values in order.
    QList<bool> RunToEnd(Outcome& outcome)
    {
        QList<bool> states;
        const auto connection = connect(games.get(), &GameDownloader::StateChanged, this,
                                        [&](bool running) { states << running; });
        outcome = AwaitOutcome(
            games.get(), &GameDownloader::Finish, [&] { games->Start(); }, 20000);
        disconnect(connection);
        return states;
    }

    // The GETs as "name Range".
    QStringList Gets() { return sandbox.Gets("files").replaceInStrings("/files/", ""); }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        for (int i = 0; i < names.size(); ++i) {
            digests << Payload::Write(served.path() + "/" + names.at(i), sizes.at(i), quint32(i + 7));
        }
        Payload::Write(served.path() + "/zero.7z", 0);
        QVERIFY(sandbox.Start(QJsonObject(), served.path()));
        db->SetString(GAME_LOCATION, location.path());
        db->SetString(NEWEST_VERSION, "1.2");
        QVERIFY(services.paths.PrepareDirs());
    }

    // A downloader of its own for every case: its inner state is what the cases look at.
    void init()
    {
        games = services.Make<GameDownloader>();
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        for (const QString& name : names) {
            QFile::remove(Cache(name));
        }
        db->SetJsonArray(SETUP_LIST, SetupList(names));
        db->SetValue(INSTALL_DONE_LIST, QStringList());
    }

    // The packages are fetched in list order from the bytes on disk, the download is marked in the store
    // meanwhile, and the installer gets every package not yet extracted, complete ones included. What an
    // interrupted installation extracted is not fetched again; another installation's record is forgotten.
    void handsOverWhatIsLeft_data()
    {
        Columns<QList<int>, QList<int>, QStringList>({"extracted", "present", "gets"});
        const QStringList all{"base_1.0.7z bytes=0-", "patch_1.1.7z bytes=0-", "patch_1.2.zip bytes=0-"};
        Row("nothing present", QList<int>(), QList<int>{0, 0, 0}, all);
        Row("one complete, one partial", QList<int>(), QList<int>{200000, 0, 4000},
            QStringList{"patch_1.1.7z bytes=0-", "patch_1.2.zip bytes=4000-"});
        Row("all complete", QList<int>(), QList<int>{200000, 150000, 100000}, QStringList());
        Row("first extracted", QList<int>{0}, QList<int>{0, 0, 0}, QStringList(all.mid(1)));
        Row("all extracted", QList<int>{0, 1, 2}, QList<int>{0, 0, 0}, QStringList());
        Row("another installation's record", QList<int>{-1}, QList<int>{0, 0, 0}, all);
    }
    void handsOverWhatIsLeft()
    {
        auto [extracted, present, gets] =
            Fetch<QList<int>, QList<int>, QStringList>({"extracted", "present", "gets"});
        QStringList done;
        for (int i : extracted) {
            done << (i < 0 ? QString(32, 'x') : digests.at(i));
        }
        db->SetValue(INSTALL_DONE_LIST, done);
        done.removeAll(QString(32, 'x'));
        QStringList packs;
        QStringList versions;
        QStringList left;
        for (int i = 0; i < names.size(); ++i) {
            QVERIFY(present.at(i) == 0 ||
                    WritePrefix(Cache(names.at(i)), sizes.at(i), present.at(i), quint32(i + 7)));
            if (!extracted.contains(i)) {
                packs << Cache(names.at(i));
                versions << QString("1.%1").arg(i);
                left << digests.at(i);
            }
        }
        // The store's marks as each change of the running state is announced.
        QStringList marked;
        connect(games.get(), &GameDownloader::StateChanged, this, [&] {
            marked << QString::number(db->GetBool(IS_DOWNLOADING)) + " " + db->GetString(DOWNLOAD_VERSION);
        });
        Outcome outcome;
        const QList<bool> states = RunToEnd(outcome);
        QVERIFY(outcome && outcome->first);
        QCOMPARE(states, gets.isEmpty() ? QList<bool>{false} : (QList<bool>{true, false}));
        QCOMPARE(marked, gets.isEmpty() ? QStringList{"0 "} : (QStringList{"1 1.2", "0 "}));
        QCOMPARE(Gets(), gets);
        QCOMPARE(db->GetValue(INSTALL_PACK_LIST).toStringList(), packs);
        QCOMPARE(db->GetValue(INSTALL_VERSION_LIST).toStringList(), versions);
        QCOMPARE(db->GetValue(INSTALL_MD5_LIST).toStringList(), left);
        QCOMPARE(db->GetValue(INSTALL_DONE_LIST).toStringList(), done);
        for (const QString& pack : packs) {
            QCOMPARE(Payload::Md5OfFile(pack), left.at(packs.indexOf(pack)));
        }
    }

    // Lists that end before any byte is fetched: the reason, and the requests that were made. Before
    // anything is fetched, the cache's disk must hold what is still to come and its extraction.
    void endsBeforeAnyTransfer_data()
    {
        Columns<QStringList, QJsonObject, QString, QString, QStringList>(
            {"files", "fault", "starts", "ends", "requests"});
        const QJsonObject none;
        Row("empty list", QStringList(), none, "Nothing to download\n", "Error: 003_007 {000/0160}",
            QStringList());
        Row("name leaving the cache", QStringList{"..%2F..%2Fevil.7z"}, none, "Invalid package file name\n",
            "Error: 003_006 {000/0150}", QStringList());
        Row("missing package among three", QStringList{"base_1.0.7z", "missing.7z", "patch_1.2.zip"}, none,
            "Network Error\n", "Error: 003_000 {203/0031}\nHTTP 404 from %o/files/missing.7z",
            QStringList{"HEAD /files/base_1.0.7z", "HEAD /files/missing.7z"});
        Row("announced empty package", QStringList{"zero.7z"}, none, "File Error\n",
            "Error: 003_001 {000/0040}", QStringList{"HEAD /files/zero.7z"});
        Row("no room", QStringList{"base_1.0.7z"},
            QJsonObject{{"method", "HEAD"}, {"length", "+1000000000000000"}},
            "Not enough disk space in %1: ", "Error: 003_010 {000/0140}",
            QStringList{"HEAD /files/base_1.0.7z"});
    }
    void endsBeforeAnyTransfer()
    {
        auto [files, fault, starts, ends, requests] =
            Fetch<QStringList, QJsonObject, QString, QString, QStringList>(
                {"files", "fault", "starts", "ends", "requests"});
        sandbox.AddFault("files", "/files/*", fault);
        db->SetJsonArray(SETUP_LIST, SetupList(files));
        Outcome outcome;
        QCOMPARE(RunToEnd(outcome), QList<bool>{false});
        QVERIFY(outcome && !outcome->first);
        const QString& why = outcome->second;
        QVERIFY2(why.startsWith(
                     starts.replace("%1", QDir::toNativeSeparators(services.paths.DownloadCacheDir()))) &&
                     why.endsWith(ends.replace("%o", sandbox.Origin("files"))),
                 qPrintable(why));
        QCOMPARE(sandbox.Targets("files"), requests);
        QCOMPARE(db->GetBool(IS_DOWNLOADING), false);
        QVERIFY(!QFileInfo::exists(location.path() + "/evil.7z"));
    }

    // While paused, nothing is written and the store still shows the download; the resume goes on from
    // the bytes on disk.
    void pauseAndResume()
    {
        sandbox.AddFault("files", "/files/*", {{"throttle", 150000}});
        QSignalSpy state(games.get(), &GameDownloader::StateChanged);
        QSignalSpy finish(games.get(), &GameDownloader::Finish);
        games->Start();
        QVERIFY(TestEnv::WaitFor(
            [&] { return games->State() == 2 && QFileInfo(Cache(names.at(0))).size() > 20000; }));
        games->SwitchDownload(true);
        QCOMPARE(games->State(), 0);
        QVERIFY(!state.isEmpty());
        QCOMPARE(state.last().at(0).toBool(), false);
        const qint64 paused = QFileInfo(Cache(names.at(0))).size();
        QTest::qWait(300);
        QCOMPARE(QFileInfo(Cache(names.at(0))).size(), paused);
        QCOMPARE(games->Records().first()->downloadedSize, paused);
        QCOMPARE(db->GetBool(IS_DOWNLOADING), true);
        sandbox.ClearFaults();
        games->SwitchDownload(false);
        QVERIFY(finish.wait(20000));
        QCOMPARE(finish.last().at(0).toBool(), true);
        QVERIFY(Gets().contains(names.at(0) + QString(" bytes=%1-").arg(paused)));
        QCOMPARE(Payload::Md5OfFile(Cache(names.at(0))), digests.at(0));
    }

    // A resume that has to start over and fails before any transfer leaves the next press its chance.
    void failedResumeCanBePressedAgain_data()
    {
        Columns<QJsonObject, bool>({"fault", "emptyList"});
        Row("size query fails", QJsonObject{{"status", 500}, {"times", 1}}, false);
        Row("refused list", QJsonObject(), true);
    }
    void failedResumeCanBePressedAgain()
    {
        auto [fault, emptyList] = Fetch<QJsonObject, bool>({"fault", "emptyList"});
        sandbox.AddFault("files", "/files/*", fault);
        db->SetJsonArray(SETUP_LIST, emptyList ? QJsonArray() : SetupList({names.at(2)}));
        QSignalSpy finish(games.get(), &GameDownloader::Finish);
        games->SwitchDownload(false);
        QVERIFY(finish.wait(10000));
        QCOMPARE(finish.last().at(0).toBool(), false);
        QCOMPARE(games->State(), 0);
        games->SwitchDownload(false);
        QVERIFY(finish.wait(10000));
        QCOMPARE(finish.last().at(0).toBool(), !emptyList);
    }

    // A stalled transfer: the watchdog's reconnect asks again from the bytes on disk, without the
    // interface seeing a stop; long slowness ends the download, and no reconnection follows.
    void slowness_data()
    {
        Columns<int, int>({"stallAfter", "ticks"});
        Row("one slow spell", 50000, 1);
        Row("long slowness", 1000, 31);
    }
    void slowness()
    {
        QFETCH(int, stallAfter);
        QFETCH(int, ticks);
        const bool recovers = ticks == 1;
        db->SetJsonArray(SETUP_LIST, SetupList({names.at(0)}));
        QJsonObject fault{{"method", "GET"}, {"stallAfter", stallAfter}, {"stallMs", 30000}};
        if (recovers) {
            fault.insert("times", 1);
        }
        sandbox.AddFault("files", "/files/*", fault);
        QSignalSpy finish(games.get(), &GameDownloader::Finish);
        games->Start();
        QVERIFY(TestEnv::WaitFor([&] {
            return !games->Records().isEmpty() && games->Records().first()->downloadedSize == stallAfter;
        }));
        QSignalSpy state(games.get(), &GameDownloader::StateChanged);
        for (int i = 0; i < ticks && finish.isEmpty(); ++i) {
            games->Statistics()->Step(6001);
        }
        QVERIFY(TestEnv::WaitFor([&] { return !finish.isEmpty(); }, 20000));
        QCOMPARE(finish.count(), 1);
        QVERIFY(!state.isEmpty());
        QCOMPARE(state.last().at(0).toBool(), false);
        if (recovers) {
            QCOMPARE(finish.at(0).at(0).toBool(), true);
            QCOMPARE(state.size(), 1);
            QCOMPARE(Gets(), (QStringList{names.at(0) + " bytes=0-", names.at(0) + " bytes=50000-"}));
            QCOMPARE(Payload::Md5OfFile(Cache(names.at(0))), digests.at(0));
            return;
        }
        QCOMPARE(
            finish.at(0).at(1).toString(),
            QString("Download speed slow,please check your internet connection.\nError: 002_000 {000/0114}"));
        QVERIFY(!games->Statistics()->IsRunning());
        QCOMPARE(db->GetBool(IS_DOWNLOADING), false);
        // A reconnection sent just before the end may still be on its way to the server; after that, none.
        QTest::qWait(300);
        const qint64 requests = sandbox.Requests("files").size();
        QTest::qWait(300);
        QCOMPARE(sandbox.Requests("files").size(), requests);
        QCOMPARE(games->Records().first()->downloadedSize, QFileInfo(Cache(names.at(0))).size());
    }
};

AVIRO_TEST_MAIN(TestGameDownloader)
#include "tst_gamedownloader.moc"
