#include "DownFileMeta.h"
#include "GameDownloader.h"
#include "Payload.h"
#include "Sandbox.h"
#include "Services.h"
#include "TestEnv.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

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
    PathMng& paths = services.paths;
    std::unique_ptr<GameDownloader> games;
    const QStringList names{"base_1.0.7z", "patch_1.1.7z", "patch_1.2.zip"};
    const QList<qint64> sizes{200000, 150000, 100000};
    QStringList digests;

    QString Cache(const QString& name) const { return location.path() + "/__DownloadCache__/" + name; }

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
    QList<bool> RunToEnd(bool* ok = nullptr, QString* reason = nullptr)
    {
        QList<bool> states;
        bool done = false;
        auto c1 = connect(games.get(), &GameDownloader::StateChanged, this,
                          [&](bool running) { states << running; });
        auto c2 = connect(games.get(), &GameDownloader::Finish, this, [&](bool success, const QString& why) {
            done = true;
            if (ok != nullptr) {
                *ok = success;
            }
            if (reason != nullptr) {
                *reason = why;
            }
        });
        games->Start();
        TestEnv::WaitFor([&] { return done; }, 20000);
        disconnect(c1);
        disconnect(c2);
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
        QVERIFY(sandbox.Start(QJsonObject(), served.path()));
        db->SetString(GAME_LOCATION, location.path());
        db->SetString(NEWEST_VERSION, "1.2");
        QVERIFY(paths.PrepareDirs());
    }

    // A downloader of its own for every case: its inner state is what the cases look at.
    void init()
    {
        games = std::make_unique<GameDownloader>();
        games->registry = &services.registry;
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        for (const QString& name : names) {
            QFile::remove(Cache(name));
        }
        db->SetJsonArray(SETUP_LIST, SetupList(names));
        db->SetValue(INSTALL_DONE_LIST, QStringList());
    }

    // An interrupted installation has extracted some packages already: only the others are fetched and
    // handed over; with all of them extracted, nothing is fetched and the hand-over is empty.
    void extractedPackagesAreNotFetchedAgain_data()
    {
        Columns<QList<int>, QStringList>({"extracted", "fetched"});
        Row("first", QList<int>{0}, QStringList{"patch_1.1.7z bytes=0-", "patch_1.2.zip bytes=0-"});
        Row("all", QList<int>{0, 1, 2}, QStringList());
        Row("none, with another installation's record", QList<int>{-1},
            QStringList{"base_1.0.7z bytes=0-", "patch_1.1.7z bytes=0-", "patch_1.2.zip bytes=0-"});
    }

    void extractedPackagesAreNotFetchedAgain()
    {
        auto [extracted, fetched] = Fetch<QList<int>, QStringList>({"extracted", "fetched"});
        QStringList done;
        for (int i : extracted) {
            done << (i < 0 ? QString(32, 'e') : digests.at(i));
        }
        db->SetValue(INSTALL_DONE_LIST, done);
        bool ok = false;
        RunToEnd(&ok);
        QVERIFY(ok);
        QCOMPARE(Gets(), fetched);
        QStringList left;
        for (int i = 0; i < names.size(); ++i) {
            if (!extracted.contains(i)) {
                left << Cache(names.at(i));
            }
        }
        QCOMPARE(db->GetValue(INSTALL_PACK_LIST).toStringList(), left);
        QVERIFY(!db->GetValue(INSTALL_DONE_LIST).toStringList().contains(QString(32, 'e')));
    }

    // The packages are fetched in list order from the bytes on disk, the download is marked in the store
    // meanwhile, and the installer gets the whole list, complete packages included.
    void downloadsAndHandsOver_data()
    {
        Columns<QList<int>, QStringList>({"present", "gets"});
        Row("nothing present", QList<int>{0, 0, 0},
            QStringList{"base_1.0.7z bytes=0-", "patch_1.1.7z bytes=0-", "patch_1.2.zip bytes=0-"});
        Row("one complete, one partial", QList<int>{200000, 0, 4000},
            QStringList{"patch_1.1.7z bytes=0-", "patch_1.2.zip bytes=4000-"});
        Row("all complete", QList<int>{200000, 150000, 100000}, QStringList());
    }
    void downloadsAndHandsOver()
    {
        QFETCH(QList<int>, present);
        QFETCH(QStringList, gets);
        for (int i = 0; i < names.size(); ++i) {
            if (present.at(i) > 0) {
                QFile file(Cache(names.at(i)));
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(Payload::Bytes(sizes.at(i), quint32(i + 7)).left(present.at(i)));
            }
        }
        // The store's marks as each change of the running state is announced.
        QStringList marked;
        connect(games.get(), &GameDownloader::StateChanged, this, [&] {
            marked << QString::number(db->GetBool(IS_DOWNLOADING)) + " " + db->GetString(DOWNLOAD_VERSION);
        });
        bool ok = false;
        const QList<bool> states = RunToEnd(&ok);
        QVERIFY(ok);
        QCOMPARE(states, gets.isEmpty() ? QList<bool>{false} : (QList<bool>{true, false}));
        QCOMPARE(marked, gets.isEmpty() ? QStringList{"0 "} : (QStringList{"1 1.2", "0 "}));
        QCOMPARE(db->GetValue(INSTALL_PACK_LIST).toStringList(),
                 (QStringList{Cache(names.at(0)), Cache(names.at(1)), Cache(names.at(2))}));
        QCOMPARE(db->GetValue(INSTALL_VERSION_LIST).toStringList(), (QStringList{"1.0", "1.1", "1.2"}));
        QCOMPARE(db->GetValue(INSTALL_MD5_LIST).toStringList(), digests);
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(Payload::Md5OfFile(Cache(names.at(i))), digests.at(i));
        }
        QCOMPARE(Gets(), gets);
    }

    void failedSizeQueryAmongThree()
    {
        QJsonArray list = SetupList(names);
        QJsonObject second = list.at(1).toObject();
        second.insert("packageurl", sandbox.Origin("files") + "/files/missing.7z");
        list.replace(1, second);
        db->SetJsonArray(SETUP_LIST, list);
        bool ok = true;
        QString reason;
        QCOMPARE(RunToEnd(&ok, &reason), QList<bool>{false});
        QVERIFY(!ok);
        QCOMPARE(reason, QString("Network Error\nError: 003_000 {203/0031}"));
        QCOMPARE(Gets(), QStringList());
        QCOMPARE(sandbox.Requests("files").size(), 2);
        QCOMPARE(db->GetBool(IS_DOWNLOADING), false);
    }

    void refusedLists_data()
    {
        Columns<QJsonArray, QString>({"list", "reason"});
        Row("empty list", QJsonArray(), "Nothing to download\nError: 003_007 {000/0160}");
        Row("name leaving the cache",
            QJsonArray{QJsonObject{{"packageurl", "http://127.0.0.1:1/files/..%2F..%2Fevil.7z"}}},
            "Invalid package file name\nError: 003_006 {000/0150}");
    }
    void refusedLists()
    {
        auto [list, reason] = Fetch<QJsonArray, QString>({"list", "reason"});
        db->SetJsonArray(SETUP_LIST, list);
        bool ok = true;
        QString why;
        QCOMPARE(RunToEnd(&ok, &why), QList<bool>{false});
        QVERIFY(!ok);
        QCOMPARE(why, reason);
        QCOMPARE(db->GetBool(IS_DOWNLOADING), false);
        QVERIFY(!QFileInfo::exists(location.path() + "/evil.7z"));
    }

    void announcedEmptyPackageEnds()
    {
        Payload::Write(served.path() + "/zero.7z", 0);
        db->SetJsonArray(SETUP_LIST,
                         QJsonArray{QJsonObject{{"packageurl", sandbox.Origin("files") + "/files/zero.7z"}}});
        bool ok = true;
        QString reason;
        RunToEnd(&ok, &reason);
        QVERIFY(!ok);
        QCOMPARE(reason, QString("File Error\nError: 003_001 {000/0040}"));
        QCOMPARE(sandbox.Requests("files").size(), 1);
    }

    void pauseAndResume()
    {
        sandbox.AddFault("files", "/files/*", {{"throttle", 150000}});
        QSignalSpy state(games.get(), &GameDownloader::StateChanged);
        QSignalSpy hint(games.get(), &GameDownloader::HintInfo);
        QSignalSpy finish(games.get(), &GameDownloader::Finish);
        games->Start();
        QVERIFY(TestEnv::WaitFor(
            [&] { return games->State() == 2 && QFileInfo(Cache(names.at(0))).size() > 20000; }));
        QTest::ignoreMessage(QtDebugMsg, "[Error] UI is not download ,inner is downloading");
        games->SwitchDownload(false);
        games->SwitchDownload(true);
        QCOMPARE(games->State(), 0);
        QCOMPARE(state.last().at(0).toBool(), false);
        QCOMPARE(hint.last().at(0).toString(), QString("Pause"));
        const qint64 paused = QFileInfo(Cache(names.at(0))).size();
        QTest::qWait(300);
        QCOMPARE(QFileInfo(Cache(names.at(0))).size(), paused);
        QCOMPARE(games->Records().first()->downloadedSize, paused);
        QCOMPARE(db->GetBool(IS_DOWNLOADING), true);
        QTest::ignoreMessage(QtDebugMsg, "[Error] UI is downloading ,inner is not download");
        games->SwitchDownload(true);

        sandbox.ClearFaults();
        games->SwitchDownload(false);
        QCOMPARE(games->State(), 2);
        QVERIFY(finish.wait(20000));
        QCOMPARE(finish.last().at(0).toBool(), true);
        QVERIFY(Gets().contains(names.at(0) + QString(" bytes=%1-").arg(paused)));
        QCOMPARE(Payload::Md5OfFile(Cache(names.at(0))), digests.at(0));

        // No transfer is left to cancel: the request stays pending and further switches are only logged.
        games->SwitchDownload(true);
        QCOMPARE(games->State(), 3);
        QTest::ignoreMessage(QtDebugMsg, "[Warn] Don't repeat cancel download");
        games->SwitchDownload(true);
        QTest::ignoreMessage(QtDebugMsg, "[Error] UI is not download ,inner is canceling download");
        games->SwitchDownload(false);
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

    // A stalled transfer: the watchdog's reconnect asks again from the bytes on disk.
    void stallLeadsToReconnectWithRange()
    {
        db->SetJsonArray(SETUP_LIST, SetupList({names.at(0)}));
        sandbox.AddFault("files", "/files/*",
                         {{"method", "GET"}, {"stallAfter", 50000}, {"stallMs", 30000}, {"times", 1}});
        QSignalSpy finish(games.get(), &GameDownloader::Finish);
        games->Start();
        QVERIFY(TestEnv::WaitFor([&] {
            return !games->Records().isEmpty() && games->Records().first()->downloadedSize == 50000;
        }));
        QSignalSpy state(games.get(), &GameDownloader::StateChanged);
        games->Statistics()->Step(6001);
        QVERIFY(finish.wait(20000));
        QCOMPARE(finish.last().at(0).toBool(), true);
        QCOMPARE(state.size(), 1);
        QCOMPARE(Gets(), (QStringList{names.at(0) + " bytes=0-", names.at(0) + " bytes=50000-"}));
        QCOMPARE(Payload::Md5OfFile(Cache(names.at(0))), digests.at(0));
    }

    void longSlownessStopsTheDownload()
    {
        db->SetJsonArray(SETUP_LIST, SetupList({names.at(0)}));
        sandbox.AddFault("files", "/files/*", {{"stallAfter", 1000}, {"stallMs", 20000}});
        QSignalSpy finish(games.get(), &GameDownloader::Finish);
        QSignalSpy state(games.get(), &GameDownloader::StateChanged);
        games->Start();
        QVERIFY(TestEnv::WaitFor([&] { return !Gets().isEmpty(); }));
        DownloadStat* stat = games->Statistics();
        for (int i = 0; i < 31 && finish.isEmpty(); ++i) {
            stat->Step(6001);
        }
        QCOMPARE(finish.count(), 1);
        QCOMPARE(
            finish.at(0).at(1).toString(),
            QString("Download speed slow,please check your internet connection.\nError: 002_000 {000/0114}"));
        QVERIFY(!stat->IsRunning());
        QCOMPARE(state.last().at(0).toBool(), false);
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
