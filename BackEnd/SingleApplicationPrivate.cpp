#include "SingleApplicationPrivate.h"

#include "Platform.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDebug>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSharedMemory>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace {

// How long an accepted connection may take to send its handshake.
constexpr int kHandshakeWaitMs = 100;
// How long a start waits for the one that created the block to claim it.
constexpr int kClaimWaitMs = 500;

} // namespace

SingleApplicationPrivate::SingleApplicationPrivate(SingleApplication* app, SingleApplication::Options opts)
    : q(app), options(opts)
{
    blockName = DeriveBlockName(options);
}

SingleApplicationPrivate::~SingleApplicationPrivate()
{
    if (clientSocket != nullptr) {
        clientSocket->close();
        delete clientSocket;
        clientSocket = nullptr;
    }
    if (sharedBlock != nullptr) {
        sharedBlock->lock();
        if (localServer != nullptr) {
            // A start that found this process unreachable may have claimed the block since: the block and
            // the channel's name are then its own.
            InstancesBlock* block = Block();
            if (block->primaryProcessId == QCoreApplication::applicationPid()) {
                localServer->close();
                block->primaryRunning = 0;
                block->primaryProcessId = -1;
            } else {
                Platform::CloseLocalServer(localServer);
            }
            delete localServer;
            localServer = nullptr;
        }
        sharedBlock->unlock();
        delete sharedBlock;
        sharedBlock = nullptr;
    }
}

QString SingleApplicationPrivate::DeriveBlockName(SingleApplication::Options options)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData("SingleApplication", 17);
    hash.addData(QCoreApplication::applicationName().toUtf8());
    hash.addData(QCoreApplication::organizationName().toUtf8());
    hash.addData(QCoreApplication::organizationDomain().toUtf8());
    if (!options.testFlag(SingleApplication::IgnoreVersion)) {
        hash.addData(QCoreApplication::applicationVersion().toUtf8());
    }
    if (!options.testFlag(SingleApplication::IgnorePath)) {
        hash.addData(QCoreApplication::applicationFilePath().toLower().toUtf8());
    }
    if (options.testFlag(SingleApplication::UserScope)) {
        const QString user = Platform::UserName();
        if (!user.isEmpty()) {
            hash.addData(user.toUtf8());
        } else {
            hash.addData(
                QStandardPaths::standardLocations(QStandardPaths::HomeLocation).join(QString()).toUtf8());
        }
    }
    QByteArray name = hash.result().toBase64();
    name.replace('/', '_');
    return QString::fromLatin1(name);
}

QByteArray SingleApplicationPrivate::ConnectionMessage(const QString& blockName, ConnectionType type,
                                                       qint32 instanceNumber)
{
    QByteArray message;
    QDataStream stream(&message, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_5_6);
    stream << blockName.toLatin1();
    stream << static_cast<qint8>(type);
    stream << instanceNumber;
    const quint16 checksum = qChecksum(message.constData(), uint(message.size()));
    stream << checksum;
    return message;
}

InstancesBlock* SingleApplicationPrivate::Block() const
{
    return static_cast<InstancesBlock*>(sharedBlock->data());
}

bool SingleApplicationPrivate::Decide(bool allowSecondary, int timeoutMs)
{
    sharedBlock = new QSharedMemory(blockName, this);
    // Attached before anything is created: on Unix, Qt's create() resets the block's lock even when the
    // block exists, and starts racing each other would then hold the lock at once.
    if (!sharedBlock->attach(QSharedMemory::ReadWrite) &&
        sharedBlock->create(sizeof(InstancesBlock), QSharedMemory::ReadWrite)) {
        sharedBlock->lock();
        StartPrimary(true);
        sharedBlock->unlock();
        return true;
    }
    qint64 seenPrimary = 0;
    if (sharedBlock->isAttached() || sharedBlock->attach(QSharedMemory::ReadWrite)) {
        sharedBlock->lock();
        InstancesBlock* block = Block();
        // A block that names no process yet was created a moment ago by a start that is about to claim it;
        // without this wait two starts at once would both become the primary.
        for (int waited = 0; block->primaryProcessId == 0 && waited < kClaimWaitMs; waited += 5) {
            sharedBlock->unlock();
            QThread::msleep(5);
            sharedBlock->lock();
        }
        // A primary that was killed leaves its block behind with the flag still set; its recorded process
        // is then gone and this start takes over. Decided and claimed under one hold: a start that came
        // in between would take over too.
        if (block->primaryRunning == 0 || !Platform::ProcessExists(block->primaryProcessId)) {
            StartPrimary(false);
            sharedBlock->unlock();
            return true;
        }
        seenPrimary = block->primaryProcessId;
        if (allowSecondary) {
            block->secondaryCount += 1;
            instanceNumber = block->secondaryCount;
            if (options.testFlag(SingleApplication::NotifyOnSecondary)) {
                NotifyPrimary(timeoutMs, SecondaryInstance);
            }
            sharedBlock->unlock();
            return true;
        }
        sharedBlock->unlock();
    }
    if (NotifyPrimary(timeoutMs, NewInstance) || !sharedBlock->isAttached()) {
        return false;
    }
    // Nobody listens on the primary's channel although its process id is in use: the id was handed to an
    // unrelated process after the primary died. Take over unless another start already did, or the
    // channel has come back: a primary that ends puts its successor's channel back under the lock.
    sharedBlock->lock();
    const bool stale = Block()->primaryProcessId == seenPrimary && !NotifyPrimary(timeoutMs, NewInstance);
    if (stale) {
        StartPrimary(false);
    }
    sharedBlock->unlock();
    return stale;
}

// Runs under the block's lock: the server listens before the block names this process, so that a start
// that reads the block finds the channel open.
void SingleApplicationPrivate::StartPrimary(bool resetCount)
{
    QLocalServer::removeServer(blockName);
    localServer = new QLocalServer(this);
    localServer->setSocketOptions(options.testFlag(SingleApplication::UserScope)
                                      ? QLocalServer::UserAccessOption
                                      : QLocalServer::WorldAccessOption);
    localServer->listen(blockName);
    connect(localServer, &QLocalServer::newConnection, this,
            &SingleApplicationPrivate::slotConnectionEstablished);

    InstancesBlock* block = Block();
    if (resetCount) {
        block->secondaryCount = 0;
    }
    block->primaryRunning = 1;
    // The process id comes last: a block that names no process is one whose claim is under way.
    std::atomic_thread_fence(std::memory_order_release);
    block->primaryProcessId = QCoreApplication::applicationPid();
    instanceNumber = 0;
}

bool SingleApplicationPrivate::NotifyPrimary(int timeoutMs, ConnectionType type)
{
    if (clientSocket == nullptr) {
        clientSocket = new QLocalSocket(this);
    }
    if (clientSocket->state() == QLocalSocket::ConnectedState) {
        return true;
    }
    if (clientSocket->state() == QLocalSocket::UnconnectedState ||
        clientSocket->state() == QLocalSocket::ClosingState) {
        clientSocket->connectToServer(blockName, QIODevice::ReadWrite);
    }
    if (clientSocket->state() == QLocalSocket::ConnectingState) {
        clientSocket->waitForConnected(timeoutMs);
    }
    if (clientSocket->state() != QLocalSocket::ConnectedState) {
        return false;
    }
    clientSocket->write(ConnectionMessage(blockName, type, qint32(instanceNumber)));
    clientSocket->flush();
    clientSocket->waitForBytesWritten(timeoutMs);
    return true;
}

void SingleApplicationPrivate::slotConnectionEstablished()
{
    QLocalSocket* socket = localServer->nextPendingConnection();
    if (socket == nullptr) {
        return;
    }
    // The handshake is awaited from the event loop rather than by blocking the window.
    auto* deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, socket, [socket] {
        socket->close();
        socket->deleteLater();
    });
    connect(socket, &QLocalSocket::readyRead, deadline, [this, socket, deadline] {
        delete deadline;
        ReadHandshake(socket);
    });
    deadline->start(kHandshakeWaitMs);
}

void SingleApplicationPrivate::ReadHandshake(QLocalSocket* socket)
{
    socket->disconnect(this);
    const QByteArray data = socket->readAll();
    const QByteArray message = data.left(qMax(0, data.size() - 2));
    QDataStream checksumStream(data.mid(message.size()));
    checksumStream.setVersion(QDataStream::Qt_5_6);
    quint16 receivedChecksum = 0;
    checksumStream >> receivedChecksum;

    QDataStream stream(message);
    stream.setVersion(QDataStream::Qt_5_6);
    QByteArray name;
    qint8 type = Invalid;
    qint32 instanceId = 0;
    stream >> name >> type >> instanceId;

    const QString receivedName =
        QString::fromLatin1(name.constData(), int(qstrnlen(name.constData(), uint(name.size()))));
    if (data.size() < 2 || stream.status() != QDataStream::Ok || checksumStream.status() != QDataStream::Ok ||
        receivedName != blockName ||
        receivedChecksum != qChecksum(message.constData(), uint(message.size()))) {
        socket->close();
        socket->deleteLater();
        return;
    }
    const auto id = quint32(instanceId);
    connect(socket, &QLocalSocket::aboutToClose, this,
            [this, socket, id] { slotClientConnectionClosed(socket, id); });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, id] { slotDataAvailable(socket, id); });
    if (type == NewInstance ||
        (type == SecondaryInstance && options.testFlag(SingleApplication::NotifyOnSecondary))) {
        emit q->instanceStarted();
    }
    if (socket->bytesAvailable() > 0) {
        emit q->receivedMessage(id, socket->readAll());
    }
}

void SingleApplicationPrivate::slotDataAvailable(QLocalSocket* socket, quint32 instanceId)
{
    emit q->receivedMessage(instanceId, socket->readAll());
}

void SingleApplicationPrivate::slotClientConnectionClosed(QLocalSocket* socket, quint32 instanceId)
{
    if (socket->bytesAvailable() > 0) {
        emit q->receivedMessage(instanceId, socket->readAll());
    }
    socket->deleteLater();
}
