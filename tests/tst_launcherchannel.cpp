#include "TestEnv.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QUdpSocket>

// The built launcher, running on its own, answers the game channel from another process.
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

private slots:
    void answersAndShrugsOffGarbage()
    {
        TestEnv::UseNoServers();
        QVERIFY(socket.bind(QHostAddress(QHostAddress::LocalHost), 0));
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
        // A launcher still busy starting answers the repeated asks late: drop those answers.
        QTest::qWait(500);
        while (socket.hasPendingDatagrams()) {
            socket.receiveDatagram();
        }

        for (const QByteArray& garbage :
             {QByteArray("\xff\xfe\x00junk", 7), QByteArray("{\"cmd\":"), QByteArray("[]"),
              QByteArray(R"({"cmd":"shutdown"})"), QByteArray(4000, 'x')}) {
            QVERIFY(Ask(garbage, 200).isEmpty());
        }
        QCOMPARE(launcher.state(), QProcess::Running);
        QCOMPARE(Ask(R"({"cmd":"reportReq","seq":"z","report":[]})", 2000),
                 (QJsonObject{{"cmd", "reportReq"}, {"seq", "z"}, {"result", true}}));
        launcher.kill();
        launcher.waitForFinished();
    }
};

AVIRO_TEST_MAIN(TestLauncherChannel)
#include "tst_launcherchannel.moc"
