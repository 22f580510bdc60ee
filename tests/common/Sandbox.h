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
    void Stop();

    QString Origin(const QString& server) const;
    QString CaFile() const;
    void WriteServerSettings(bool trustCa) const;

    // Control interface.
    void SetCatalogue(const QJsonObject& catalogue, const QString& baseDir);
    void AddFault(const QJsonObject& fault);
    // A fault for the requests of one server whose path equals `path` (a prefix when it ends with "*").
    void AddFault(const QString& server, const QString& path, QJsonObject fault);
    void ClearFaults();
    QJsonArray Requests(const QString& server);
    void ClearRequests();
    QJsonArray Reports();
    void ClearReports();
    QString CaptchaCode(const QString& srandom);
    QString LastCaptchaCode();
    void AddToken(const QString& token, const QString& account);

    // A catalogue with one user ("pilot@example.com" / "secret", id 1001, product "SkyTrainer").
    static QJsonObject BasicCatalogue();

private:
    QByteArray Call(const QByteArray& method, const QString& path, const QByteArray& body = QByteArray());

    QProcess process;
    QJsonObject origins;
};
