#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>

namespace httplib {
struct Request;
}

// A fault that tests switch on for the requests of one path on one server.
struct Fault
{
    QString server;
    QString path;             // exact, or a prefix when it ends with "*"
    QString method;           // only requests of this method, when given
    int stallMs = 0;          // pause this long ...
    qint64 stallAfter = -1;   // ... after this many body bytes, or before answering at all when negative
    qint64 throttle = 0;      // body bytes per second
    qint64 dropAfter = -1;    // close the connection after this many body bytes
    bool ignoreRange = false; // answer 200 with the whole body
    qint64 shiftRange = 0;    // answer a ranged request from this many bytes further on
    QString length;           // "missing", or a signed offset ("+10", "-10") added to the announced length
    int status = 0;           // answer with this HTTP status
    QByteArray body;          // answer with this body instead ("body" as text, "bodyBase64" as bytes)
    QString redirect;         // answer 302 to this address
    bool noSessionCookie = false; // store only: create the session without the cookie
    int times = -1;               // number of requests it applies to; negative for all

    static Fault FromJson(const QJsonObject& json);
};

// Everything the sandbox servers share: the catalogue, signed-in users, sessions, captchas, faults and
// what the tests want to read back (requests, reports). All access is serialised by one lock.
class SandboxState
{
public:
    bool LoadCatalogue(const QString& path, QString& error);
    void SetCatalogue(const QJsonObject& catalogue, const QString& baseDir);
    void SetOrigins(const QMap<QString, QString>& origins);
    QString Origin(const QString& server) const;

    // Catalogue lookups.
    std::optional<QJsonObject> User(const QString& account) const;
    std::optional<QJsonObject> UserById(const QString& userId) const;
    std::optional<QJsonObject> Product(const QString& code) const;
    QJsonArray Versions(const QString& product) const; // oldest first, URLs resolved
    QJsonArray Launchers() const;                      // oldest first, URLs resolved
    QString FilePath(const QString& relative) const;   // empty when outside the files folder

    // Captchas, tokens and sessions.
    QString NewCaptcha(const QString& srandom);
    QString CaptchaCode(const QString& srandom) const;
    QString TakeCaptcha(const QString& srandom);
    QJsonObject LastCaptcha() const;
    QString NewToken(const QString& account);
    void AddToken(const QString& token, const QString& account);
    QString TokenAccount(const QString& token) const;
    QString NewSession(const QString& account);
    QString SessionAccount(const QString& session) const;

    // Faults: the one matching a request, counted as used.
    void AddFault(const Fault& fault);
    void ClearFaults();
    std::optional<Fault> TakeFault(const QString& server, const QString& method, const QString& path);

    // What tests read back.
    void RecordRequest(const QString& server, const httplib::Request& req);
    QJsonArray Requests(const QString& server) const;
    void ClearRequests();
    void RecordReport(const QJsonObject& report);
    QJsonArray Reports() const;
    void ClearReports();

    std::atomic<bool> stopping{false};

private:
    QString Resolve(QString url) const;
    QJsonObject ResolveEntry(QJsonObject entry, const char* fileKey, const char* urlKey,
                             const char* noteKey) const;

    mutable std::mutex lock;
    QJsonObject catalogue;
    QString baseDir;
    QMap<QString, QString> origins;
    QMap<QString, QString> captchas;
    QJsonObject lastCaptcha;
    QMap<QString, QString> tokens;
    QMap<QString, QString> sessions;
    QList<Fault> faults;
    QJsonArray requests;
    QJsonArray reports;
};
