#include "BackEnd.h"
#include "GameChannel.h"
#include "Sandbox.h"
#include "TestEnv.h"

#include <QProcess>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <signal.h>

// The back end as the launcher runs it: the built launcher answers the game channel and stays the only one,
// a back end without the channel's port does not start, and a back end ends the way the launcher's main
// ends while the game runs or a package is being verified.
class TestLauncherChannel : public QObject
{
    Q_OBJECT
private:
    // The launcher's answer to a settings request, asked again until its back end has started.
    static QJsonObject Settings(int seq)
    {
        const QByteArray request = QString(R"({"cmd":"settingReq","seq":%1})").arg(seq).toUtf8();
        for (int attempt = 0; attempt < 300; ++attempt) {
            const QList<QJsonObject> replies = GameChannel::Ask({request}, 1, 100);
            if (!replies.isEmpty()) {
                return replies.at(0);
            }
        }
        return {};
    }

    // Runs backend_probe with the arguments, quits it once `ready` holds, and checks its normal end.
    static void RunProbeAndQuit(const QStringList& arguments, const std::function<bool(QProcess&)>& ready)
    {
        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(TestEnv::BinDir() + "/backend_probe", arguments);
        QVERIFY(TestEnv::WaitFor([&] { return ready(probe); }));
        probe.write("quit\n");
        QVERIFY(probe.waitForFinished(30000));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
    }

private slots:
    void init() { TestEnv::UseNoServers(); }

    // A later start ends at once and leaves the game to the first; after a kill -9 a new start takes over.
    void launcherAnswersTheGameAlone()
    {
        const QString program = TestEnv::BinDir() + "/AviroLauncher";
        QProcess first;
        first.start(program, QStringList());
        const QJsonObject reply = Settings(41);
        QCOMPARE(reply.value("seq").toInt(), 41);
        QCOMPARE(reply.value("resolutionWidth").toInt(), 1920);
        QCOMPARE(reply.value("language").toString(), QString("en"));

        QProcess second;
        second.start(program, QStringList());
        QVERIFY2(second.waitForFinished(30000), "a later start kept running");
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);

        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished());
        QProcess again;
        again.start(program, QStringList());
        QCOMPARE(Settings(42).value("seq").toInt(), 42);
        again.kill();
        QVERIFY(again.waitForFinished());
    }

    // Another program holds the port even when it lets others share it: the back end does not start and
    // registers nothing for the interface.
    void portTakenStopsTheBackEnd()
    {
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress(QHostAddress::LocalHost), 9998,
                            QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
        BackEnd backEnd;
        QString error;
        QVERIFY(!backEnd.Init(error));
        QCOMPARE(error, QString("Network Adapter Occupied\nError: 010_000 {000/0130}\n"
                                "UDP port 127.0.0.1:9998 is taken by another program"));
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQml 2.12\nimport BackEnd 1.0\nQtObject {}", QUrl("qrc:/test.qml"));
        QVERIFY(component.isError());
        QVERIFY2(component.errorString().contains("BackEnd"), qPrintable(component.errorString()));
    }

    // The game is ended and reported offline while the whole back end is alive, and the back end's
    // destruction afterwards finds nothing left to do.
    void quitWhileTheGameRuns()
    {
        QTemporaryDir root;
        Sandbox sandbox;
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), root.path()));
        const QString game = root.path() + "/Games/SkyTrainer";
        QVERIFY(TestEnv::Unpack(root.path() + "/Games", {"1.1.0.0"}));
        QVERIFY(GameChannel::Configure(game, {{"runMs", 60000}}));
        RunProbeAndQuit({"game", root.path() + "/Games"}, [&](QProcess&) {
            return GameChannel::Log(game).size() >= 3 &&
                   GameChannel::OnlineStates(sandbox.Reports()).size() == 1;
        });
        const auto pid = qint64(GameChannel::Log(game, "start").value(0).value("pid").toDouble());
        QVERIFY(pid > 0);
        QVERIFY2(::kill(pid_t(pid), 0) != 0, "the game outlived the launcher");
        QCOMPARE(GameChannel::OnlineStates(sandbox.Reports()), (QList<bool>{true, false}));
    }

    // The application's end stops a verification rather than waiting for it, and a verification cut short is
    // no verdict: the package (whose digest is wrong) stays. Read whole, a sparse tebibyte would outlast any
    // wait here by far.
    void quitWhileAPackageIsVerified()
    {
        QTemporaryDir root;
        const QString package = root.path() + "/__DownloadCache__/SkyTrainer_big.7z";
        QDir().mkpath(root.path() + "/__DownloadCache__");
        QFile big(package);
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 40));
        big.close();
        RunProbeAndQuit({"install", root.path(), package}, [](QProcess& probe) {
            return probe.canReadLine() && probe.readLine() == "PROGRESS\n";
        });
        QVERIFY(QFileInfo::exists(package));
    }
};

AVIRO_TEST_MAIN(TestLauncherChannel)
#include "tst_launcherchannel.moc"
