#pragma once

#include "RestClient.h"

#include <QJsonArray>
#include <QObject>
#include <QSet>

#include <functional>

class ObjectRegistry;
class RamDB;

// Client of the store server: session, the user's product, the game's versions and their packages,
// release notes, and the newest launcher version. Results go to the store; callers learn success or a
// message ready to show.
class ShopAccountMng : public QObject
{
    Q_OBJECT
public:
    using Completion = std::function<void(bool ok, const QString& message)>;

    explicit ShopAccountMng(QObject* parent = nullptr);

    void CreateSession(const Completion& completion);
    void GetProductInfo(const Completion& completion);
    void GetVersionList(const Completion& completion);
    void GetNoteList(const Completion& completion);
    void GetLauncherVersion(const Completion& completion);

    ObjectRegistry* registry = nullptr;

    // What each answer of the store does; the requests hand their answers here.
    void ProductInfoAck(bool ok, const QJsonObject& body);
    void VersonListAck(bool ok, const QJsonObject& body);
    void NoteListAck(bool ok, const QJsonObject& body);
    void LauncherVersionAck(bool ok, const QJsonObject& body);

private:
    void SetTokenCookie();
    void SetSessionCookies();
    void RequestVersionPage(const QJsonValue& nextId);
    // Takes its own copy: a completion may start the same operation again and so replace the stored one.
    static void Finish(Completion completion, bool ok, const QString& message);

    Completion sessionCallback;
    Completion productCallback;
    Completion versionListCallback;
    Completion noteListCallback;
    Completion launcherVersionCallback;
    RestClient rest;
    QJsonArray setupList;
    // The "nextid" values this walk has followed, as JSON text.
    QSet<QString> followedIds;
    bool firstPage = false;
    QString baseUrl;
};
