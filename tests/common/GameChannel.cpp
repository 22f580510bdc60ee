#include "GameChannel.h"

#include "TestEnv.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

QList<QJsonObject> GameChannel::Log(const QString& gameDir, const QString& event)
{
    QList<QJsonObject> entries;
    QFile log(gameDir + "/sandbox-game.log");
    if (log.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : log.readAll().split('\n')) {
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            if (!line.isEmpty() && (event.isEmpty() || entry.value("event").toString() == event)) {
                entries << entry;
            }
        }
    }
    return entries;
}

bool GameChannel::Configure(const QString& gameDir, const QJsonObject& config)
{
    QFile file(gameDir + "/sandbox-game.json");
    return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(config).toJson()) > 0;
}

QList<QJsonObject> GameChannel::Events(const QJsonArray& reports)
{
    QList<QJsonObject> events;
    for (const QJsonValue& report : reports) {
        for (const QJsonValue& event : report.toObject().value("events").toArray()) {
            events << event.toObject();
        }
    }
    return events;
}

QList<bool> GameChannel::OnlineStates(const QJsonArray& reports)
{
    QList<bool> states;
    for (const QJsonObject& event : Events(reports)) {
        if (event.value("type").toString() == "KPX_UserOnline") {
            // A report without a real state is left out, so that it cannot pass for an offline one.
            const QJsonValue state = event.value("eventValue").toObject().value("onlineState");
            if (state.isBool()) {
                states << state.toBool();
            }
        }
    }
    return states;
}

QList<QJsonObject> GameChannel::Ask(const QList<QByteArray>& datagrams, int expected, int waitMs)
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
            return expected > 0 && replies.size() >= expected;
        },
        waitMs);
    return replies;
}
