#pragma once

#include "SingleApplication.h"

#include <QObject>

class QLocalServer;
class QLocalSocket;
class QSharedMemory;

// Layout of the block shared by all starts that derive the same key.
struct InstancesBlock
{
    quint8 primaryRunning;
    quint32 secondaryCount;
    qint64 primaryProcessId;
};
static_assert(sizeof(InstancesBlock) == 16, "the shared block is 16 bytes");

class SingleApplicationPrivate : public QObject
{
    Q_OBJECT
public:
    enum ConnectionType : qint8
    {
        Invalid = 0,
        NewInstance = 1,
        SecondaryInstance = 2,
    };

    SingleApplicationPrivate(SingleApplication* app, SingleApplication::Options options);
    ~SingleApplicationPrivate() override;

    // Runs the whole decision; false when this process is to end.
    bool Decide(bool allowSecondary, int timeoutMs);

    static QString DeriveBlockName(SingleApplication::Options options);
    static QByteArray ConnectionMessage(const QString& blockName, ConnectionType type, qint32 instanceNumber);

    QSharedMemory* sharedBlock = nullptr;
    SingleApplication* q = nullptr;
    QLocalSocket* clientSocket = nullptr;
    QLocalServer* localServer = nullptr;
    quint32 instanceNumber = 0;
    QString blockName;
    SingleApplication::Options options;

public slots:
    void slotConnectionEstablished();
    void slotDataAvailable(QLocalSocket* socket, quint32 instanceId);
    void slotClientConnectionClosed(QLocalSocket* socket, quint32 instanceId);

private:
    InstancesBlock* Block() const;
    void StartPrimary(bool resetCount);
    bool NotifyPrimary(int timeoutMs, ConnectionType type);
    void ReadHandshake(QLocalSocket* socket);
};
