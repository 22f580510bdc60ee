#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QUdpSocket>

class ObjectRegistry;

// The launcher's end of the local request/reply channel with the running game, on UDP 127.0.0.1:9998.
//
// Payload encoding: none. Each datagram carries one JSON object as UTF-8 text, in both directions; the
// sandbox game speaks the same. Requests: {"cmd": "settingReq" | "reportReq", "seq": any, "report": [...]}.
// Every reply echoes "cmd" and "seq" as they came and is sent back to the sender's address and port.
class GameIPC : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 kPort = 9998;
    static constexpr int kDatagramsPerRound = 256;

    // What one round of datagrams brought: the round's single log line counts it and shows the last reply
    // and report only in part, so that a flood of large datagrams cannot flood the log as well.
    struct Batch
    {
        int settings = 0;
        int reports = 0;
        int events = 0;
        int dropped = 0;
        QJsonObject reply;
        QJsonArray report;
    };

    explicit GameIPC(QObject* parent = nullptr);

    ObjectRegistry* registry = nullptr;

    // Binds the port exclusively; false with the text to show when another program holds it.
    bool Bind(QString& error);
    // The reply to one datagram; empty when there is none to send. The datagram is counted in the batch.
    QByteArray Handle(const QByteArray& datagram, Batch& batch) const;
    // The batch's log line; empty when it holds nothing.
    static QString LogLine(const Batch& batch);

private slots:
    void Receive();

private:
    QJsonObject Answer(const QJsonObject& request, Batch& batch) const;

    QUdpSocket socket;
};
