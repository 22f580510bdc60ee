#pragma once

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

    explicit GameIPC(QObject* parent = nullptr);

    ObjectRegistry* registry = nullptr;

    // Binds the port exclusively; false with the text to show when another program holds it.
    bool Bind(QString& error);
    // The reply to one datagram; empty when there is none to send.
    QByteArray Handle(const QByteArray& datagram) const;

private slots:
    void Receive();

private:
    QJsonObject Answer(const QJsonObject& request) const;

    QUdpSocket socket;
};
