#include "Sandbox.h"
#include "TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <signal.h>

// The back end running in a process of its own: the built launcher answers the game channel, and a back
// end ends the way the launcher's main ends while the game runs or a package is being verified.
class TestLauncherChannel : public QObject
{
    Q_OBJECT
private:
    QUdpSocket socket;

    QJsonObject Ask(const QByteArray& request, int waitMs)
    {
        socket.writeDatagram(request, QHostAddress(QHostAddress::LocalHost), 9998);
        QJsonObject reply;
        TestEnv::WaitFor(
            [&] {
                if (socket.hasPendingDatagrams()) {
                    reply = QJsonDocument::fromJson(socket.receiveDatagram().data()).object();
                    return true;
                }
                return false;
            },
            waitMs);
        return reply;
    }

    static QList<QJsonObject> GameLog(const QString& path)
    {
        QList<QJsonObject> entries;
        QFile log(path);
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : log.readAll().split('\n')) {
                if (!line.isEmpty()) {
                    entries << QJsonDocument::fromJson(line).object();
                }
            }
        }
        return entries;
    }

private slots:
    void initTestCase() { QVERIFY(socket.bind(QHostAddress(QHostAddress::LocalHost), 0)); }

    void launcherAnswersTheGame()
    {
        TestEnv::UseNoServers();
        QProcess launcher;
        launcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        launcher.start(TestEnv::BinDir() + "/AviroLauncher", QStringList());
        QVERIFY(launcher.waitForStarted());
        QJsonObject reply;
        for (int attempt = 0; attempt < 100 && reply.isEmpty(); ++attempt) {
            reply = Ask(R"({"cmd":"settingReq","seq":41})", 100);
        }
        QCOMPARE(reply.value("cmd").toString(), QString("settingReq"));
        QCOMPARE(reply.value("seq").toInt(), 41);
        for (const char* key :
             {"windowMode", "imageQuality", "resolutionWidth", "resolutionHeight", "rcMode"}) {
            QVERIFY2(reply.value(key).isDouble(), key);
        }
        QCOMPARE(reply.value("resolutionWidth").toInt(), 1920);
        QCOMPARE(reply.value("language").toString(), QString("en"));
        launcher.kill();
        launcher.waitForFinished();
    }

    // The application's end with the game running: the game is ended and reported offline while the whole
    // back end is alive, and the back end's destruction afterwards finds nothing left to do.
    void quitWhileTheGameRuns()
    {
        QTemporaryDir root;
        Sandbox sandbox;
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), root.path()));
        const QString location = root.path() + "/Games";
        QVERIFY(TestEnv::Unpack(location, {"1.1.0.0"}));
        QFile config(location + "/SkyTrainer/sandbox-game.json");
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(R"({"runMs": 60000})");
        config.close();
        const QString log = location + "/SkyTrainer/sandbox-game.log";

        const auto onlineStates = [&sandbox] {
            QStringList states;
            for (const QJsonValue& report : sandbox.Reports()) {
                for (const QJsonValue& event : report.toObject().value("events").toArray()) {
                    if (event.toObject().value("type") == "KPX_UserOnline") {
                        states << QJsonDocument(event.toObject().value("eventValue").toObject())
                                      .toJson(QJsonDocument::Compact);
                    }
                }
            }
            return states;
        };

        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedChannels);
        probe.start(TestEnv::BinDir() + "/backend_probe", {"game", location});
        QVERIFY(TestEnv::WaitFor([&] { return GameLog(log).size() >= 3 && onlineStates().size() == 1; }));
        const auto game = qint64(GameLog(log).at(0).value("pid").toDouble());
        QVERIFY(game > 0);
        probe.write("quit\n");
        QVERIFY(probe.waitForFinished(10000));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QVERIFY2(::kill(pid_t(game), 0) != 0, "the game outlived the launcher");
        QCOMPARE(onlineStates(), (QStringList{R"({"onlineState":true})", R"({"onlineState":false})"}));
    }

    // A verification cut short by the application's end is no verdict: the package stays.
    void quitWhileAPackageIsVerified()
    {
        QTemporaryDir root;
        const QString package = root.path() + "/__DownloadCache__/SkyTrainer_big.7z";
        QDir().mkpath(root.path() + "/__DownloadCache__");
        QFile big(package);
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(4) << 30));
        big.close();
        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(TestEnv::BinDir() + "/backend_probe", {"install", root.path(), package});
        QVERIFY(TestEnv::WaitFor([&] { return probe.canReadLine(); }));
        QCOMPARE(probe.readLine(), QByteArray("PROGRESS\n"));
        probe.write("quit\n");
        // Reading the whole package would take several seconds.
        QVERIFY2(probe.waitForFinished(3000), "the end waited for the verification");
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QVERIFY(QFileInfo::exists(package));
    }
};

AVIRO_TEST_MAIN(TestLauncherChannel)
#include "tst_launcherchannel.moc"
