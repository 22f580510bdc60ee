#include "SingleApplicationPrivate.h"
#include "TestEnv.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSharedMemory>
#include <QTemporaryDir>

#include <memory>
#include <signal.h>

// Starts of real processes: the probe runs the same single-instance decision as the launcher.
class TestSingleInstance : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString probe;
    std::vector<std::unique_ptr<QProcess>> running;

    QProcess* Start(const QString& program)
    {
        running.push_back(std::make_unique<QProcess>());
        QProcess* process = running.back().get();
        process->setProcessChannelMode(QProcess::SeparateChannels);
        process->start(program, QStringList());
        process->waitForStarted();
        return process;
    }

    static QStringList WaitForPrimary(QProcess* process)
    {
        QElapsedTimer clock;
        clock.start();
        process->waitForStarted();
        while (!process->canReadLine() && clock.elapsed() < 5000 && process->state() == QProcess::Running) {
            process->waitForReadyRead(100);
        }
        const QString line = QString::fromLatin1(process->readLine()).trimmed();
        return line.split(' ');
    }

    // A later start must end with status 0 within a second.
    static void ExpectEndsAtOnce(QProcess* process)
    {
        QVERIFY2(process->waitForFinished(1000), "a later start kept running");
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        QCOMPARE(process->readAllStandardOutput(), QByteArray());
    }

    static void Quit(QProcess* process)
    {
        process->write("quit\n");
        QVERIFY(process->waitForFinished(3000));
    }

private slots:
    void initTestCase()
    {
        TestEnv::UseNoServers();
        probe = dir.path() + "/a/singleapp_probe";
        QDir().mkpath(dir.path() + "/a");
        QVERIFY(QFile::copy(TestEnv::BinDir() + "/singleapp_probe", probe));
    }

    void cleanup()
    {
        for (auto& process : running) {
            process->kill();
            process->waitForFinished(3000);
        }
        running.clear();
    }

    void secondStartEndsAndFirstCarriesOn()
    {
        QProcess* first = Start(probe);
        const QStringList primary = WaitForPrimary(first);
        QCOMPARE(primary.value(0), QString("PRIMARY"));
        ExpectEndsAtOnce(Start(probe));
        QVERIFY(first->waitForReadyRead(2000));
        QCOMPARE(first->readLine().trimmed(), QByteArray("INSTANCE_STARTED"));
        QCOMPARE(first->state(), QProcess::Running);
        Quit(first);
    }

    // The key follows the executable's path, whatever its letter case.
    void copiesElsewhere_data()
    {
        Columns<QString, bool>({"folder", "ownPrimary"});
        Row("another folder", "b", true);
        Row("the same path in capitals", "A", false);
    }
    void copiesElsewhere()
    {
        auto [folder, ownPrimary] = Fetch<QString, bool>({"folder", "ownPrimary"});
        const QString copy = dir.path() + "/" + folder + "/singleapp_probe";
        QDir().mkpath(dir.path() + "/" + folder);
        QFile::remove(copy);
        QVERIFY(QFile::copy(probe, copy));
        QProcess* first = Start(probe);
        QCOMPARE(WaitForPrimary(first).value(0), QString("PRIMARY"));
        QProcess* other = Start(copy);
        if (ownPrimary) {
            QCOMPARE(WaitForPrimary(other).value(0), QString("PRIMARY"));
            Quit(other);
        } else {
            ExpectEndsAtOnce(other);
        }
        QCOMPARE(first->state(), QProcess::Running);
        Quit(first);
    }

    // The bytes on the wire, with the checksum worked out apart from Qt (CRC-16/X-25, big-endian).
    void handshakeMessageBytes()
    {
        QCOMPARE(SingleApplicationPrivate::ConnectionMessage("AB", SingleApplicationPrivate::NewInstance, 7)
                     .toHex(),
                 QByteArray("00000002414201000000072914"));
    }

    void killedPrimaryIsReplaced()
    {
        QProcess* first = Start(probe);
        const QStringList primary = WaitForPrimary(first);
        QCOMPARE(primary.value(0), QString("PRIMARY"));
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(3000));

        QProcess* next = Start(probe);
        QCOMPARE(WaitForPrimary(next).value(0), QString("PRIMARY"));
        ExpectEndsAtOnce(Start(probe));
        Quit(next);
    }

    void normalEndClearsTheBlockButKeepsIt()
    {
        QProcess* first = Start(probe);
        const QStringList primary = WaitForPrimary(first);
        QSharedMemory block(primary.value(2));
        QVERIFY(block.attach());
        auto* data = static_cast<const InstancesBlock*>(block.constData());
        QCOMPARE(int(data->primaryRunning), 1);
        QCOMPARE(data->primaryProcessId, qint64(first->processId()));
        Quit(first);
        QCOMPARE(int(data->primaryRunning), 0);
        QCOMPARE(data->primaryProcessId, qint64(-1));

        QProcess* next = Start(probe);
        QCOMPARE(WaitForPrimary(next).value(0), QString("PRIMARY"));
        QCOMPARE(int(data->primaryRunning), 1);
        Quit(next);
    }

    // A primary whose channel vanished is replaced; its own end later must not unseat its successor.
    void replacedPrimaryLeavesTheBlockToItsSuccessor()
    {
        QProcess* first = Start(probe);
        const QString name = WaitForPrimary(first).value(2);
        QVERIFY(QLocalServer::removeServer(name));
        QProcess* second = Start(probe);
        QCOMPARE(WaitForPrimary(second).value(0), QString("PRIMARY"));
        Quit(first);
        ExpectEndsAtOnce(Start(probe));
        Quit(second);
    }

    // Starts that race each other, for a block nobody has created yet or for the block of a killed
    // primary: one primary, the others end.
    void simultaneousStartsElectOnePrimary_data()
    {
        Columns<bool>({"afterKill"});
        Row("new block", false);
        Row("killed primary", true);
    }
    void simultaneousStartsElectOnePrimary()
    {
        QFETCH(bool, afterKill);
        for (int round = 0; round < 8; ++round) {
            const QString copy = dir.path() + QString("/%1%2/singleapp_probe").arg(afterKill).arg(round);
            QDir().mkpath(QFileInfo(copy).absolutePath());
            QVERIFY(QFile::copy(probe, copy));
            if (afterKill) {
                QProcess* first = Start(copy);
                QCOMPARE(WaitForPrimary(first).value(0), QString("PRIMARY"));
                ::kill(pid_t(first->processId()), SIGKILL);
                QVERIFY(first->waitForFinished(3000));
            }
            // All six decide at the same moment, once their programs are loaded.
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("AVIRO_START_AT", QString::number(QDateTime::currentMSecsSinceEpoch() + 300));
            QList<QProcess*> starts;
            for (int i = 0; i < 6; ++i) {
                running.push_back(std::make_unique<QProcess>());
                starts << running.back().get();
                starts.last()->setProcessEnvironment(environment);
                starts.last()->start(copy, QStringList());
            }
            int primaries = 0;
            for (QProcess* start : starts) {
                if (WaitForPrimary(start).value(0) == "PRIMARY") {
                    ++primaries;
                } else {
                    QCOMPARE(start->state(), QProcess::NotRunning);
                    QCOMPARE(start->exitCode(), 0);
                }
            }
            QVERIFY2(primaries == 1, qPrintable(QString("round %1: %2 primaries").arg(round).arg(primaries)));
            cleanup();
        }
    }

    void handshakesAreChecked_data()
    {
        Columns<int, bool>({"damage", "accepted"});
        Row("valid", 0, true);
        Row("wrong checksum", 1, false);
        Row("other name", 2, false);
        Row("silence", 3, false);
    }
    void handshakesAreChecked()
    {
        auto [damage, accepted] = Fetch<int, bool>({"damage", "accepted"});
        QProcess* primary = Start(probe);
        const QString name = WaitForPrimary(primary).value(2);
        QByteArray message = SingleApplicationPrivate::ConnectionMessage(
            damage == 2 ? QString(name).replace(0, 1, name.at(0) == 'A' ? "B" : "A") : name,
            SingleApplicationPrivate::NewInstance, 0);
        if (damage == 1) {
            message[message.size() - 1] = char(message.at(message.size() - 1) ^ 0x5a);
        }
        QLocalSocket socket;
        socket.connectToServer(name);
        QVERIFY(socket.waitForConnected(1000));
        if (damage != 3) {
            socket.write(message);
            socket.flush();
        }
        if (accepted) {
            QVERIFY(primary->waitForReadyRead(2000));
            QCOMPARE(primary->readLine().trimmed(), QByteArray("INSTANCE_STARTED"));
        } else {
            QVERIFY(socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(2000));
            QVERIFY(!primary->waitForReadyRead(300));
        }
        Quit(primary);
    }

    void launcherSecondStartEnds()
    {
        const QString launcher = TestEnv::BinDir() + "/AviroLauncher";
        QProcess* first = Start(launcher);
        QVERIFY(!first->waitForFinished(1500));
        ExpectEndsAtOnce(Start(launcher));
        QCOMPARE(first->state(), QProcess::Running);
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(3000));
        QProcess* again = Start(launcher);
        QVERIFY2(!again->waitForFinished(1500), "the launcher did not take over from a killed primary");
    }
};

AVIRO_TEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
