#include "BackEnd.h"
#include "GameChannel.h"
#include "Payload.h"
#include "Sandbox.h"
#include "SingleApplicationPrivate.h"
#include "TestEnv.h"

#include <QLocalServer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QUdpSocket>

#include <memory>
#include <signal.h>

// Starts of real processes. The launcher as it runs: the built launcher answers the game channel and stays
// the only one, a back end without the channel's port does not start, and a back end ends the way the
// launcher's main ends while the game runs or a package is being verified. The probe runs the same
// single-instance decision as the launcher.
class TestProcesses : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString probe;
    std::vector<std::unique_ptr<QProcess>> running;

    // The probe copied into a folder of the test's (kept when it is there already).
    QString Copy(const QString& folder) const
    {
        QDir().mkpath(dir.path() + "/" + folder);
        QFile::copy(TestEnv::BinDir() + "/singleapp_probe", dir.path() + "/" + folder + "/singleapp_probe");
        return dir.path() + "/" + folder + "/singleapp_probe";
    }

    QProcess* Start(const QString& program, const QStringList& arguments = {},
                    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        running.push_back(std::make_unique<QProcess>());
        running.back()->setProcessEnvironment(environment);
        running.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        running.back()->start(program, arguments);
        return running.back().get();
    }

    // "PRIMARY <pid> <block name>" from a start that runs; nothing from one that ended.
    static QStringList FirstLine(QProcess* process)
    {
        while (!process->canReadLine() && process->waitForReadyRead(10000)) {
        }
        return QString::fromLatin1(process->readLine()).trimmed().split(' ');
    }

    // The process ends (or has ended) normally; a later start also without a word.
    static void ExpectEnds(QProcess* process, bool silent = true)
    {
        QVERIFY2(process->state() == QProcess::NotRunning || process->waitForFinished(30000),
                 "it kept running");
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        const QByteArray said = process->readAllStandardOutput();
        QVERIFY2(!silent || said.isEmpty(), said.constData());
    }

    static void Quit(QProcess* process)
    {
        process->write("quit\n");
        ExpectEnds(process, false);
    }

    // The launcher's answer to a settings request, asked again until its back end has started.
    static QJsonObject Settings(int seq)
    {
        const QByteArray request = QString(R"({"cmd":"settingReq","seq":%1})").arg(seq).toUtf8();
        QList<QJsonObject> replies;
        TestEnv::WaitFor(
            [&] {
                replies = GameChannel::Ask({request}, 1, 100);
                return !replies.isEmpty();
            },
            30000);
        return replies.value(0);
    }

    // Runs backend_probe with the arguments and quits it once `ready` holds.
    void RunProbeAndQuit(const QStringList& arguments, const std::function<bool(QProcess&)>& ready)
    {
        QProcess* probe = Start(TestEnv::BinDir() + "/backend_probe", arguments);
        QVERIFY(TestEnv::WaitFor([&] { return ready(*probe); }));
        Quit(probe);
    }

private slots:
    void initTestCase() { probe = Copy("a"); }

    void init() { TestEnv::UseNoServers(); }

    void cleanup()
    {
        for (auto& process : running) {
            process->kill();
            process->waitForFinished(3000);
        }
        running.clear();
    }

    // The bytes on the wire, with the checksum worked out apart from Qt (CRC-16/X-25, big-endian).
    void handshakeMessageBytes()
    {
        QCOMPARE(SingleApplicationPrivate::ConnectionMessage("AB", SingleApplicationPrivate::NewInstance, 7)
                     .toHex(),
                 QByteArray("00000002414201000000072914"));
    }

    // The key follows the executable's path, whatever its letter case, and the primary hears of a later
    // start. A primary that ends clears the block only while it names that primary: one replaced after its
    // channel vanished leaves the block, and the channel, to its successor.
    void blockFollowsThePrimary()
    {
        QProcess* first = Start(probe);
        const QString name = FirstLine(first).value(2);
        QCOMPARE(FirstLine(Start(Copy("b"))).value(0), QString("PRIMARY"));
        QSharedMemory block(name);
        QVERIFY(block.attach());
        const auto* data = static_cast<const InstancesBlock*>(block.constData());
        const auto primary = [&] {
            return std::make_pair(int(data->primaryRunning), data->primaryProcessId);
        };
        QCOMPARE(primary(), std::make_pair(1, qint64(first->processId())));
        QVERIFY(QLocalServer::removeServer(name));
        QProcess* second = Start(probe);
        QCOMPARE(FirstLine(second).value(0), QString("PRIMARY"));
        Quit(first);
        QCOMPARE(primary(), std::make_pair(1, qint64(second->processId())));
        ExpectEnds(Start(Copy("A")));
        QCOMPARE(FirstLine(second).value(0), QString("INSTANCE_STARTED"));
        QCOMPARE(second->state(), QProcess::Running);
        Quit(second);
        QCOMPARE(primary(), std::make_pair(0, qint64(-1)));
        QCOMPARE(FirstLine(Start(probe)).value(0), QString("PRIMARY"));
    }

    // Starts that race each other, for a block nobody has created yet and then for the block of the killed
    // winner: one primary, the others end.
    void simultaneousStartsElectOnePrimary()
    {
        for (int round = 0; round < 16; ++round) {
            const QString copy = Copy(QString("race%1").arg(round / 2));
            // All six decide at the same moment, once their programs are loaded.
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("AVIRO_START_AT", QString::number(QDateTime::currentMSecsSinceEpoch() + 300));
            QList<QProcess*> starts;
            for (int i = 0; i < 6; ++i) {
                starts << Start(copy, {}, environment);
            }
            QList<QProcess*> primaries;
            for (QProcess* start : starts) {
                if (FirstLine(start).value(0) == "PRIMARY") {
                    primaries << start;
                } else {
                    ExpectEnds(start);
                }
            }
            QVERIFY2(primaries.size() == 1,
                     qPrintable(QString("round %1: %2 primaries").arg(round).arg(primaries.size())));
            ::kill(pid_t(primaries.at(0)->processId()), SIGKILL);
            QVERIFY(primaries.at(0)->waitForFinished());
            cleanup();
        }
    }

    // A later start ends at once and leaves the game to the first; after a kill -9 a new start takes over.
    void launcherAnswersTheGameAlone()
    {
        const QString program = TestEnv::BinDir() + "/AviroLauncher";
        QProcess* first = Start(program);
        const QJsonObject reply = Settings(41);
        QCOMPARE(std::make_tuple(reply.value("seq").toInt(), reply.value("resolutionWidth").toInt(),
                                 reply.value("language").toString()),
                 std::make_tuple(41, 1920, QString("en")));
        ExpectEnds(Start(program));
        QCOMPARE(first->state(), QProcess::Running);

        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished());
        Start(program);
        QCOMPARE(Settings(42).value("seq").toInt(), 42);
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
        QVERIFY(Payload::Save(package, QByteArray()) && QFile::resize(package, qint64(1) << 40));
        RunProbeAndQuit({"install", root.path(), package}, [](QProcess& probe) {
            return probe.canReadLine() && probe.readLine() == "PROGRESS\n";
        });
        QVERIFY(QFileInfo::exists(package));
    }
};

AVIRO_TEST_MAIN(TestProcesses)
#include "tst_processes.moc"
