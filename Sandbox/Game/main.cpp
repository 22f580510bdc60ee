// The sandbox game: a stand-in for the real game that plays the game's side of the launcher's channel.
// It is installed as <product>/<Name>.exe. It asks for its settings, sends one report batch, stays alive
// for a while and ends. Beside itself it reads "sandbox-game.json" ({"runMs", "exitCode", "report"}) and
// appends to "sandbox-game.log" one JSON object per line: its start (arguments, folder), each datagram it
// sent and each one it received, and its end.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

namespace {

QString BesideMe(const QString& name)
{
    return QCoreApplication::applicationDirPath() + "/" + name;
}

void Log(const QJsonObject& entry)
{
    QFile log(BesideMe("sandbox-game.log"));
    if (log.open(QIODevice::Append)) {
        log.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + "\n");
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QJsonObject config;
    QFile configFile(BesideMe("sandbox-game.json"));
    if (configFile.open(QIODevice::ReadOnly)) {
        config = QJsonDocument::fromJson(configFile.readAll()).object();
    }
    const int runMs = config.value("runMs").toInt(1500);
    const int exitCode = config.value("exitCode").toInt(0);
    const QJsonArray report =
        config.value("report").toArray(QJsonArray{QJsonObject{{"type", "SandboxFlight"}, {"minutes", 12}}});

    Log({{"event", "start"},
         {"args", QJsonArray::fromStringList(QCoreApplication::arguments().mid(1))},
         {"cwd", QDir::currentPath()},
         {"pid", QCoreApplication::applicationPid()}});

    QUdpSocket socket;
    socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
    const auto send = [&](const QJsonObject& request) {
        const QByteArray data = QJsonDocument(request).toJson(QJsonDocument::Compact);
        socket.writeDatagram(data, QHostAddress(QHostAddress::LocalHost), 9998);
        Log({{"event", "sent"}, {"data", request}});
    };
    QObject::connect(&socket, &QUdpSocket::readyRead, [&] {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram();
            const QJsonObject reply = QJsonDocument::fromJson(datagram.data()).object();
            Log({{"event", "received"}, {"data", reply}});
            if (reply.value("cmd").toString() == "settingReq") {
                send({{"cmd", "reportReq"}, {"seq", 2}, {"report", report}});
            }
        }
    });
    send({{"cmd", "settingReq"}, {"seq", 1}});
    QTimer::singleShot(runMs, &app, [&] {
        Log({{"event", "exit"}, {"code", exitCode}});
        QCoreApplication::exit(exitCode);
    });
    return QCoreApplication::exec();
}
