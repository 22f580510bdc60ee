#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>

// The game's side of the launcher's channel, and what the sandbox game and the statistics server record.
class GameChannel
{
public:
    // The sandbox game's log in its folder, one object a line; only the entries of `event` when given.
    static QList<QJsonObject> Log(const QString& gameDir, const QString& event = QString());
    // Writes the sandbox game's configuration ("runMs", "report", ...) into its folder.
    static bool Configure(const QString& gameDir, const QJsonObject& config);
    // The events of every report the statistics server received, in order.
    static QList<QJsonObject> Events(const QJsonArray& reports);
    // The states of the online reports among them.
    static QList<bool> OnlineStates(const QJsonArray& reports);
    // Sends the datagrams to the launcher's port from a socket of its own, which no answer to an earlier
    // ask can reach, and returns the replies; it waits for `expected` of them, or the whole wait for none.
    static QList<QJsonObject> Ask(const QList<QByteArray>& datagrams, int expected, int waitMs = 10000);
};
