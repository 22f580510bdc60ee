#include "CrmService.h"
#include "GameChannel.h"
#include "GameLauncher.h"
#include "Sandbox.h"
#include "Services.h"
#include "TestEnv.h"

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
    QString Game() const { return Location() + "/SkyTrainer"; }

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

private slots:
    void initTestCase()
    {
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), root.path()));
        crm = std::make_unique<CrmService>();
        crm->registry = &services.registry;
        services.registry.Register(crm.get());
        launcher = std::make_unique<GameLauncher>();
        launcher->SetRegistry(&services.registry);
        QString error;
        QVERIFY2(launcher->InitChannel(error), qPrintable(error));
        db->SetString(USER_ACCOUNT, "pilot@example.com");
        db->SetString(NEWEST_VERSION, "1.1.1.0");
        db->SetInt(GAME_WINDOW_MODE, 2);
        db->SetInt(GAME_IMAGE_QUALITY, 3);
        db->SetInt(GAME_RESOLUTION_WIDTH, 1280);
        db->SetInt(GAME_RESOLUTION_HEIGHT, 720);
        db->SetInt(GAME_RC_MODE, 1);
        db->SetString(GAME_LOCATION, Location());
        db->SetString(PRODUCT_CODE, "SkyTrainer");
        QVERIFY(TestEnv::Unpack(Location(), {"1.1.0.0"}));
        QVERIFY(launcher->IsInstalled(QString()));
    }

    // Version file texts that are refused; a sound one is read in tst_hardening, with the bounds of its
    // reading.
    void versionFiles_data()
    {
        Columns<QByteArray>({"text"});
        Row("three numbers", QByteArray(R"({"V": "2.0.1", "P": "SkyTrainer"})"));
        Row("trailing text", QByteArray(R"({"V": "2.0.0.1b", "P": "SkyTrainer"})"));
        Row("not JSON", QByteArray("V=2.0.0.1"));
        Row("escaping product", QByteArray(R"({"V": "2.0.0.1", "P": "../.."})"));
    }
    void versionFiles()
    {
        auto [text] = Fetch<QByteArray>({"text"});
        QString version;
        QString product;
        QVERIFY(!GameLauncher::ParseVersion(text, version, product));
    }

    // The game is started once, in its folder, with the chosen language (an interface's or a game-only one),
    // is answered the stored settings in the same language, and its reports go out signed and stamped
    // between the online and offline reports. Every culture's code is checked in the channel's answers
    // (tst_hardening).
    void gameRunsWithTheStoredSettings_data()
    {
        Columns<int, QString>({"language", "culture"});
        Row("0", 0, "en");
        Row("3", 3, "ja");
    }
    void gameRunsWithTheStoredSettings()
    {
        auto [language, culture] = Fetch<int, QString>({"language", "culture"});
        QFile::remove(Game() + "/sandbox-game.log");
        const QJsonArray report{QJsonObject{{"type", "Takeoff"}, {"airfield", "EGLL"}},
                                QJsonObject{{"type", "Landing"}, {"appVer", "0.0"}}};
        QVERIFY(GameChannel::Configure(Game(), {{"runMs", 1500}, {"report", report}}));
        db->SetInt(MULTI_LANG, language);
        SettledReportCount();
        sandbox.ClearReports();
        launcher->Launch();
        launcher->Launch();
        QVERIFY(TestEnv::WaitFor([&] { return !db->GetBool(IS_RUNNING_GAME); }));

        const QList<QJsonObject> starts = GameChannel::Log(Game(), "start");
        QCOMPARE(starts.size(), 1);
        QCOMPARE(starts.at(0).value("args").toArray(), QJsonArray{"-culture=" + culture});
        QCOMPARE(QDir(starts.at(0).value("cwd").toString()).canonicalPath(), QDir(Game()).canonicalPath());
        const QList<QJsonObject> received = GameChannel::Log(Game(), "received");
        QCOMPARE(received.size(), 2);
        const QJsonObject settings{{"cmd", "settingReq"},     {"seq", 1},
                                   {"windowMode", 2},         {"imageQuality", 3},
                                   {"resolutionWidth", 1280}, {"resolutionHeight", 720},
                                   {"language", culture},     {"rcMode", 1}};
        QCOMPARE(received.at(0).value("data").toObject(), settings);
        QCOMPARE(received.at(1).value("data").toObject(),
                 (QJsonObject{{"cmd", "reportReq"}, {"seq", 2}, {"result", true}}));

        // Every event is stamped with the product, its newest version (the game's own is replaced) and the
        // user.
        const QString stamp(" SkyTrainer 1.1.1.0 pilot@example.com");
        QJsonArray reports;
        QStringList stamps;
        QVERIFY2(TestEnv::WaitFor([&] {
                     stamps.clear();
                     for (const QJsonObject& event : GameChannel::Events(reports = sandbox.Reports())) {
                         stamps << event.value("type").toString() + ' ' + event.value("appCode").toString() +
                                       ' ' + event.value("appVer").toString() + ' ' +
                                       event.value("userAccount").toString();
                     }
                     return GameChannel::OnlineStates(reports) == QList<bool>{true, false} &&
                            stamps.contains("Takeoff" + stamp) && stamps.contains("Landing" + stamp);
                 }),
                 qPrintable(stamps.join(',')));
        QCOMPARE(stamps.filter(stamp).size(), stamps.size());
        for (const QJsonValue& batch : reports) {
            QVERIFY(batch.toObject().value("signValid").toBool());
        }
    }

    void gameThatCannotStart()
    {
        QFile::setPermissions(Game() + "/SkyTrainer.exe", QFileDevice::ReadOwner);
        const auto restore = qScopeGuard([this] {
            QFile::setPermissions(Game() + "/SkyTrainer.exe",
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        });
        SettledReportCount();
        sandbox.ClearReports();
        QSignalSpy failed(launcher.get(), &GameLauncher::LaunchFailed);
        launcher->Launch();
        QVERIFY(TestEnv::WaitFor([&] { return failed.count() == 1; }));
        QCOMPARE(db->GetBool(IS_RUNNING_GAME), false);
        // The online report of the attempt is balanced by an offline one.
        QVERIFY(TestEnv::WaitFor([&] { return GameChannel::OnlineStates(sandbox.Reports()).size() == 2; }));
        QCOMPARE(GameChannel::OnlineStates(sandbox.Reports()).count(false), 1);
    }

    // Each reply echoes "cmd" and "seq" as they came; anything else is ignored and reports nothing (a
    // datagram that is not JSON: tst_hardening).
    void channelAnswers_data()
    {
        Columns<QByteArray, QJsonObject>({"request", "expected"});
        Row("text seq", QByteArray(R"({"cmd":"settingReq","seq":"a"})"),
            QJsonObject{{"cmd", "settingReq"}, {"seq", "a"}});
        Row("no seq", QByteArray(R"({"cmd":"reportReq","report":[]})"),
            QJsonObject{{"cmd", "reportReq"}, {"result", true}});
        Row("unknown command", QByteArray(R"({"cmd":"foo","seq":1})"), QJsonObject());
        Row("no command", QByteArray(R"({"seq":1})"), QJsonObject());
    }
    void channelAnswers()
    {
        auto [request, expected] = Fetch<QByteArray, QJsonObject>({"request", "expected"});
        const int reportsBefore = SettledReportCount();
        const QList<QJsonObject> replies =
            GameChannel::Ask({request}, expected.size() ? 1 : 0, expected.size() ? 10000 : 300);
        QCOMPARE(replies.size(), expected.size() ? 1 : 0);
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            QCOMPARE(replies.at(0).value(it.key()), it.value());
        }
        QCOMPARE(replies.value(0).contains("seq"), expected.contains("seq"));
        QCOMPARE(SettledReportCount(), reportsBefore);
    }
};

AVIRO_TEST_MAIN(TestGameLauncher)
#include "tst_gamelauncher.moc"
