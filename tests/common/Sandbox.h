#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>

// The sandbox servers, started for one test process on free ports. The settings file of the test's
// profile is pointed at them, so every service the launcher builds afterwards talks to the sandbox.
class Sandbox
{
public:
    Sandbox() = default;
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // Starts the servers with the catalogue (files relative to baseDir) and writes the [Servers] group.
    bool Start(const QJsonObject& catalogue, const QString& baseDir, bool trustCa = true);
    // With a catalogue the package step built from the sandbox game ("catalogue.json"; with a newer
    // launcher "catalogue-update.json"), and its files.
    bool Start(const QString& packaged);
    void Stop();

    QString Origin(const QString& server) const;
    QString CaFile() const;
    void WriteServerSettings(bool trustCa) const;

    // Control interface.
    void SetCatalogue(const QJsonObject& catalogue, const QString& baseDir);
    void SetCatalogue(const QString& packaged);
    static QJsonObject Packaged(const QString& name);
    void AddFault(const QJsonObject& fault);
    // A fault for the requests of one server whose path equals `path` (a prefix when it ends with "*").
    void AddFault(const QString& server, const QString& path, QJsonObject fault);
    void ClearFaults();
    QJsonArray Requests(const QString& server);
    // The requests of a server as "METHOD path", in order.
    QStringList Targets(const QString& server);
    // Its GET requests as "path Range" (the Range header, empty when none was sent), in order.
    QStringList Gets(const QString& server);
    void ClearRequests();
    QJsonArray Reports();
    void ClearReports();
    QString CaptchaCode(const QString& srandom);
    QString LastCaptchaCode();
    void AddToken(const QString& token, const QString& account);

    // A version the store offers ("ispatch" 1 patch, 2 full), with its package and note under "/files/"
    // of the file host unless the note's address is given.
    static QJsonObject Version(const QString& version, int isPatch, const QString& noteUrl = QString());
    // The catalogue with these versions (oldest first) of "SkyTrainer".
    static QJsonObject WithVersions(QJsonObject catalogue, const QJsonArray& versions);
    // A catalogue with one user ("pilot@example.com" / "secret", id 1001, product "SkyTrainer").
    static QJsonObject BasicCatalogue();

private:
    QByteArray Call(const QByteArray& method, const QString& path, const QByteArray& body = QByteArray());

    QProcess process;
    QJsonObject origins;
};
