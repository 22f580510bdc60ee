#include "GameIPC.h"

#include "CrmService.h"
#include "Failure.h"
#include "Logging.h"
#include "MultiLang.h"
#include "ObjectRegistry.h"
#include "RamDB.h"
#include "RestClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>

GameIPC::GameIPC(QObject* parent) : QObject(parent), socket(this) {}

bool GameIPC::Bind(QString& error)
{
    // Exclusive, as on Windows: a second launcher must not share the port and steal the game's requests.
    if (!socket.bind(QHostAddress(QHostAddress::LocalHost), kPort, QAbstractSocket::DontShareAddress)) {
        // The cause names the port, so that the user can find the program that holds it.
        error = Failure(ErrGameIPC, tr("网络端口被占用"))
                    .Error(0)
                    .At(130)
                    .Cause(tr("UDP 端口 127.0.0.1:%1 已被另一个程序占用").arg(kPort));
        return false;
    }
    connect(&socket, &QUdpSocket::readyRead, this, &GameIPC::Receive);
    return true;
}

void GameIPC::Receive()
{
    // Every pending datagram, not one per notification, so that a burst leaves no request unanswered; a flood
    // is taken in rounds, so that the event loop keeps running between them. Returning with datagrams left is
    // safe: each receive re-arms the socket's read notification, which comes again while any are queued. The
    // round is never resumed from elsewhere: a notification that then found the queue drained would leave the
    // socket believing a datagram unread, and it would stop notifying for good.
    Batch batch;
    for (int round = 0; round < kDatagramsPerRound && socket.hasPendingDatagrams(); ++round) {
        const QNetworkDatagram datagram = socket.receiveDatagram();
        if (!datagram.isValid()) {
            continue;
        }
        const QByteArray reply = Handle(datagram.data(), batch);
        if (!reply.isEmpty()) {
            socket.writeDatagram(reply, datagram.senderAddress(), quint16(datagram.senderPort()));
        }
    }
    const QString line = LogLine(batch);
    if (!line.isEmpty()) {
        qCDebug(lcGame).noquote() << line;
    }
}

QString GameIPC::LogLine(const Batch& batch)
{
    if (batch.settings + batch.reports + batch.dropped == 0) {
        return {};
    }
    QString line = QStringLiteral("GameIPC: %1 settingReq, %2 reportReq (%3 events), %4 dropped")
                       .arg(batch.settings)
                       .arg(batch.reports)
                       .arg(batch.events)
                       .arg(batch.dropped);
    if (batch.settings > 0) {
        line += QStringLiteral("; Reply: ") +
                QString::fromUtf8(LogExcerpt(QJsonDocument(batch.reply).toJson(QJsonDocument::Compact)));
    }
    if (batch.reports > 0) {
        line += QStringLiteral("; Game Report Array: ") +
                QString::fromUtf8(LogExcerpt(QJsonDocument(batch.report).toJson(QJsonDocument::Compact)));
    }
    return line;
}

QByteArray GameIPC::Handle(const QByteArray& datagram, Batch& batch) const
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(datagram, &parseError);
    const QJsonObject reply =
        parseError.error == QJsonParseError::NoError ? Answer(document.object(), batch) : QJsonObject();
    if (reply.isEmpty()) {
        ++batch.dropped;
        return {};
    }
    return QJsonDocument(reply).toJson();
}

QJsonObject GameIPC::Answer(const QJsonObject& request, Batch& batch) const
{
    const QString cmd = request.value(QStringLiteral("cmd")).toString();
    if (cmd != QLatin1String("settingReq") && cmd != QLatin1String("reportReq")) {
        return {};
    }
    QJsonObject reply;
    reply.insert(QStringLiteral("cmd"), request.value(QStringLiteral("cmd")));
    if (request.contains(QStringLiteral("seq"))) {
        reply.insert(QStringLiteral("seq"), request.value(QStringLiteral("seq")));
    }
    const RamDB* db = registry->Peer<RamDB>();
    if (cmd == QLatin1String("settingReq")) {
        reply.insert(QStringLiteral("windowMode"), db->GetInt(GAME_WINDOW_MODE, 0));
        // The same default the settings dialog shows, so the game runs with what the user sees.
        reply.insert(QStringLiteral("imageQuality"), db->GetInt(GAME_IMAGE_QUALITY, 2));
        reply.insert(QStringLiteral("resolutionWidth"), db->GetInt(GAME_RESOLUTION_WIDTH, 0));
        reply.insert(QStringLiteral("resolutionHeight"), db->GetInt(GAME_RESOLUTION_HEIGHT, 0));
        reply.insert(QStringLiteral("language"), MultiLang::CodeOf(db->GetInt(MULTI_LANG, 0)));
        reply.insert(QStringLiteral("rcMode"), db->GetInt(GAME_RC_MODE, 0));
        ++batch.settings;
        batch.reply = reply;
        return reply;
    }
    const QJsonArray report = request.value(QStringLiteral("report")).toArray();
    ++batch.reports;
    batch.events += report.size();
    batch.report = report;
    if (!report.isEmpty()) {
        registry->Peer<CrmService>()->reportCustom(report);
    }
    reply.insert(QStringLiteral("result"), true);
    return reply;
}
