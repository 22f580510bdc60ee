#include "CrmService.h"
#include "GameLauncher.h"
#include "Payload.h"
#include "Sandbox.h"
#include "Services.h"
#include "TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <memory>

// The installed sandbox game started for real, its channel, and its reports reaching the statistics server.
class TestGameLauncher : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir root;
    Services services;
    RamDB* db = &services.db;
    std::unique_ptr<CrmService> crm;
    std::unique_ptr<GameLauncher> launcher;

    QString Location() const { return root.path() + "/Games"; }
    QString Game(const QString& path) const { return Location() + "/SkyTrainer/" + path; }

    QList<QJsonObject> GameLog() const
    {
        QList<QJsonObject> entries;
        QFile log(Game("sandbox-game.log"));
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : log.readAll().split('\n')) {
                if (!line.isEmpty()) {
                    entries << QJsonDocument::fromJson(line).object();
                }
            }
        }
        return entries;
    }

    static QList<QJsonObject> Events(const QList<QJsonObject>& log, const QString& event)
    {
        QList<QJsonObject> selected;
        for (const QJsonObject& entry : log) {
            if (entry.value("event").toString() == event) {
                selected << entry;
            }
        }
        return selected;
    }

    // The number of reports once no more have come in for a while: earlier batches are still on their way.
    int SettledReportCount()
    {
        int count = -1;
        for (int stable = 0; stable < 3;) {
            QTest::qWait(150);
            const int now = sandbox.Reports().size();
            stable = now == count ? stable + 1 : 0;
            count = now;
        }
        return count;
    }

    QList<bool> OnlineStates()
    {
        QList<bool> states;
        for (const QJsonValue& report : sandbox.Reports()) {
            for (const QJsonValue& event : report.toObject().value("events").toArray()) {
                if (event.toObject().value("type").toString() == "KPX_UserOnline") {
                    states << event.toObject().value("eventValue").toObject().value("onlineState").toBool();
                }
            }
        }
        return states;
    }

    void WriteGameConfig(int runMs)
    {
        QFile config(Game("sandbox-game.json"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(
            QJsonDocument(
                QJsonObject{{"runMs", runMs},
                            {"report", QJsonArray{QJsonObject{{"type", "Takeoff"}, {"airfield", "EGLL"}},
                                                  QJsonObject{{"type", "Landing"}, {"appVer", "0.0"}}}}})
                .toJson());
    }

    // A request sent from a socket of our own, and the reply (or nothing) that comes back.
    static QList<QJsonObject> Ask(const QList<QByteArray>& datagrams, int expected, int waitMs = 2000)
    {
        QUdpSocket socket;
        socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
        for (const QByteArray& datagram : datagrams) {
            socket.writeDatagram(datagram, QHostAddress(QHostAddress::LocalHost), 9998);
        }
        QList<QJsonObject> replies;
        TestEnv::WaitFor(
            [&] {
                while (socket.hasPendingDatagrams()) {
                    replies << QJsonDocument::fromJson(socket.receiveDatagram().data()).object();
                }
                return replies.size() >= expected && expected > 0;
            },
            waitMs);
        return replies;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), root.path()));
        crm = std::make_unique<CrmService>();
        crm->registry = &services.registry;
        services.registry.RegisterObject("CrmService", crm.get());
        launcher = std::make_unique<GameLauncher>();
        launcher->SetRegistry(&services.registry);
        QString error;
        QVERIFY2(launcher->InitChannel(error), qPrintable(error));
        db->SetString(USER_ACCOUNT, "pilot@example.com");
        db->SetString(NEWEST_VERSION, "1.1.1.0");
        QVERIFY(TestEnv::Unpack(Location(), {"1.1.0.0"}));
    }

    void init()
    {
        db->SetString(GAME_LOCATION, Location());
        db->SetString(PRODUCT_CODE, "SkyTrainer");
    }

    void installationIsFound()
    {
        QVERIFY(launcher->IsInstalled(QString()));
        QVERIFY(launcher->IsInstalled(Location()));
        QVERIFY(!launcher->IsInstalled(root.path() + "/elsewhere"));
        db->SetString(GAME_LOCATION, root.path() + "/empty");
        QVERIFY(!launcher->IsInstalled(QString()));
    }

    void versionFiles_data()
    {
        Columns<QByteArray, bool>({"content", "accepted"});
        Row("installed", QByteArray(), true);
        Row("good", QByteArray(R"({"V": "2.0.0.1", "P": "SkyTrainer"})"), true);
        Row("three numbers", QByteArray(R"({"V": "2.0.1", "P": "SkyTrainer"})"), false);
        Row("trailing text", QByteArray(R"({"V": "2.0.0.1b", "P": "SkyTrainer"})"), false);
        Row("not JSON", QByteArray("V=2.0.0.1"), false);
        Row("escaping product", QByteArray(R"({"V": "2.0.0.1", "P": "../.."})"), false);
    }
    void versionFiles()
    {
        auto [content, accepted] = Fetch<QByteArray, bool>({"content", "accepted"});
        const QString path = Game("SkyTrainer/Content/version.dat");
        const QByteArray original = Payload::ReadFile(path);
        QFile file(path);
        if (!content.isEmpty()) {
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(content);
            file.close();
        }
        db->SetString(CURRENT_VERSION, "kept");
        QVERIFY(launcher->IsInstalled(QString()));
        QCOMPARE(launcher->GetVersion(), accepted);
        QCOMPARE(db->GetString(CURRENT_VERSION), !accepted           ? QString("kept")
                                                 : content.isEmpty() ? QString("1.1.0.0")
                                                                     : QString("2.0.0.1"));
        QCOMPARE(db->GetString(PRODUCT_CODE), QString("SkyTrainer"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(original);
    }

    void cultureFollowsTheLanguage_data()
    {
        Columns<int, QString>({"language", "culture"});
        Row("0", 0, "en");
        Row("1", 1, "zh-CN");
        Row("2", 2, "zh-Hant");
        Row("3", 3, "ja");
        Row("4", 4, "ko");
        Row("7", 7, "en");
    }
    void cultureFollowsTheLanguage()
    {
        QFETCH(int, language);
        QFETCH(QString, culture);
        QFile::remove(Game("sandbox-game.log"));
        WriteGameConfig(100);
        db->SetInt(MULTI_LANG, language);
        QVERIFY(launcher->IsInstalled(QString()));
        launcher->Launch();
        QVERIFY(TestEnv::WaitFor([&] { return !db->GetBool(IS_RUNNING_GAME); }));
        const QList<QJsonObject> starts = Events(GameLog(), "start");
        QCOMPARE(starts.size(), 1);
        QCOMPARE(starts.at(0).value("args").toArray(), QJsonArray{"-culture=" + culture});
        QCOMPARE(QDir(starts.at(0).value("cwd").toString()).canonicalPath(), QDir(Game("")).canonicalPath());
    }

    void runningGameIsServedAndReported()
    {
        QFile::remove(Game("sandbox-game.log"));
        WriteGameConfig(1500);
        db->SetInt(MULTI_LANG, 1);
        db->SetInt(GAME_WINDOW_MODE, 2);
        db->SetInt(GAME_IMAGE_QUALITY, 3);
        db->SetInt(GAME_RESOLUTION_WIDTH, 1280);
        db->SetInt(GAME_RESOLUTION_HEIGHT, 720);
        db->SetInt(GAME_RC_MODE, 1);
        sandbox.ClearReports();
        QSignalSpy failed(launcher.get(), &GameLauncher::LaunchFailed);
        QVERIFY(launcher->IsInstalled(QString()));
        launcher->Launch();
        QCOMPARE(db->GetBool(IS_RUNNING_GAME), true);
        launcher->Launch();
        QVERIFY(TestEnv::WaitFor([&] { return !db->GetBool(IS_RUNNING_GAME); }, 10000));
        QCOMPARE(failed.count(), 0);
        const QList<QJsonObject> log = GameLog();
        QCOMPARE(Events(log, "start").size(), 1);
        const QList<QJsonObject> received = Events(log, "received");
        QCOMPARE(received.size(), 2);
        QCOMPARE(received.at(0).value("data").toObject(), (QJsonObject{{"cmd", "settingReq"},
                                                                       {"seq", 1},
                                                                       {"windowMode", 2},
                                                                       {"imageQuality", 3},
                                                                       {"resolutionWidth", 1280},
                                                                       {"resolutionHeight", 720},
                                                                       {"language", "zh-CN"},
                                                                       {"rcMode", 1}}));
        QCOMPARE(received.at(1).value("data").toObject(),
                 (QJsonObject{{"cmd", "reportReq"}, {"seq", 2}, {"result", true}}));

        QJsonArray reports;
        QVERIFY(TestEnv::WaitFor([&] {
            reports = sandbox.Reports();
            return reports.size() >= 3;
        }));
        QStringList kinds;
        for (const QJsonValue& report : reports) {
            QVERIFY(report.toObject().value("signValid").toBool());
            const QJsonArray events = report.toObject().value("events").toArray();
            for (const QJsonValue& event : events) {
                const QJsonObject object = event.toObject();
                QCOMPARE(object.value("appCode").toString(), QString("SkyTrainer"));
                QCOMPARE(object.value("appVer").toString(), QString("1.1.1.0"));
                QCOMPARE(object.value("userAccount").toString(), QString("pilot@example.com"));
                kinds << object.value("type").toString() +
                             (object.contains("eventValue")
                                  ? QJsonDocument(object.value("eventValue").toObject())
                                        .toJson(QJsonDocument::Compact)
                                  : QByteArray());
            }
        }
        QVERIFY2(kinds.contains("KPX_UserOnline{\"onlineState\":true}"), qPrintable(kinds.join(',')));
        QVERIFY2(kinds.contains("KPX_UserOnline{\"onlineState\":false}"), qPrintable(kinds.join(',')));
        QVERIFY(kinds.contains("Takeoff"));
        QVERIFY(kinds.contains("Landing"));
    }

    void gameThatCannotStart()
    {
        QVERIFY(launcher->IsInstalled(QString()));
        QFile::setPermissions(Game("SkyTrainer.exe"), QFileDevice::ReadOwner);
        SettledReportCount();
        sandbox.ClearReports();
        QSignalSpy failed(launcher.get(), &GameLauncher::LaunchFailed);
        launcher->Launch();
        QVERIFY(TestEnv::WaitFor([&] { return failed.count() == 1; }));
        QCOMPARE(db->GetBool(IS_RUNNING_GAME), false);
        // The online report of the attempt is balanced by an offline one.
        QVERIFY(TestEnv::WaitFor([&] { return OnlineStates().size() == 2; }));
        QCOMPARE(OnlineStates().count(false), 1);
        QFile::setPermissions(Game("SkyTrainer.exe"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void channelAnswers_data()
    {
        Columns<QByteArray, QJsonObject>({"request", "expected"});
        Row("number seq", QByteArray(R"({"cmd":"settingReq","seq":7})"),
            QJsonObject{{"cmd", "settingReq"}, {"seq", 7}});
        Row("text seq", QByteArray(R"({"cmd":"settingReq","seq":"a"})"),
            QJsonObject{{"cmd", "settingReq"}, {"seq", "a"}});
        Row("no seq", QByteArray(R"({"cmd":"reportReq","report":[]})"),
            QJsonObject{{"cmd", "reportReq"}, {"result", true}});
        Row("unknown command", QByteArray(R"({"cmd":"foo","seq":1})"), QJsonObject());
        Row("no command", QByteArray(R"({"seq":1})"), QJsonObject());
        Row("not JSON", QByteArray("\x01\x02garbage"), QJsonObject());
        Row("array", QByteArray("[1,2]"), QJsonObject());
        Row("long datagram", QByteArray(4000, 'x'), QJsonObject());
    }
    void channelAnswers()
    {
        auto [request, expected] = Fetch<QByteArray, QJsonObject>({"request", "expected"});
        db->SetInt(MULTI_LANG, 3);
        const int reportsBefore = SettledReportCount();
        const QList<QJsonObject> replies =
            Ask({request}, expected.isEmpty() ? 0 : 1, expected.isEmpty() ? 300 : 2000);
        QCOMPARE(replies.size(), expected.isEmpty() ? 0 : 1);
        if (!expected.isEmpty()) {
            for (auto it = expected.begin(); it != expected.end(); ++it) {
                QCOMPARE(replies.at(0).value(it.key()), it.value());
            }
            QCOMPARE(replies.at(0).contains("seq"), expected.contains("seq"));
            if (expected.value("cmd") == "settingReq") {
                QCOMPARE(replies.at(0).value("language").toString(), QString("ja"));
                QCOMPARE(replies.at(0).size(), 8);
            }
        }
        QCOMPARE(SettledReportCount(), reportsBefore);
    }

    void burstIsAnsweredInFull()
    {
        QList<QByteArray> burst;
        for (int i = 0; i < 30; ++i) {
            burst << QJsonDocument(QJsonObject{{"cmd", "settingReq"}, {"seq", i}})
                         .toJson(QJsonDocument::Compact);
        }
        const QList<QJsonObject> replies = Ask(burst, 30);
        QCOMPARE(replies.size(), 30);
        QSet<int> seqs;
        for (const QJsonObject& reply : replies) {
            seqs.insert(reply.value("seq").toInt());
        }
        QCOMPARE(seqs.size(), 30);
    }

    void portAlreadyTaken()
    {
        TestEnv::InstallEnglish();
        GameIPC second;
        second.registry = &services.registry;
        QString error;
        QVERIFY(!second.Bind(error));
        QCOMPARE(error, QString("Network Adapter Occupied\nError: 010_000 {000/0130}"));
        QCOMPARE(Ask({R"({"cmd":"settingReq","seq":1})"}, 1).size(), 1);
    }
};

AVIRO_TEST_MAIN(TestGameLauncher)
#include "tst_gamelauncher.moc"
