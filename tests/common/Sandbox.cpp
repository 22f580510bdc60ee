#include "Sandbox.h"

#include "Payload.h"
#include "TestEnv.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <signal.h>

Sandbox::~Sandbox()
{
    Stop();
}

bool Sandbox::Start(const QJsonObject& catalogue, const QString& baseDir, bool trustCa)
{
    const QString catalogueFile = TestEnv::Home() + "/sandbox-catalogue.json";
    QJsonObject withBase = catalogue;
    withBase.insert("filesDir", QDir(baseDir).absolutePath());
    if (!Payload::Save(catalogueFile, QJsonDocument(withBase).toJson())) {
        return false;
    }
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(TestEnv::BinDir() + "/AviroSandbox", {"--state", TestEnv::Home() + "/sandbox-state",
                                                        "--catalogue", catalogueFile, "--any-port"});
    if (!process.waitForStarted(5000)) {
        return false;
    }
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(10000)) {
            return false;
        }
    }
    origins = QJsonDocument::fromJson(process.readLine()).object();
    if (origins.isEmpty()) {
        return false;
    }
    WriteServerSettings(trustCa);
    return true;
}

bool Sandbox::Start(const QString& packaged)
{
    return Start(Packaged(packaged), TestEnv::CatalogueDir() + "/files");
}

QJsonObject Sandbox::Packaged(const QString& name)
{
    QFile file(TestEnv::CatalogueDir() + "/" + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("no catalogue %s", qPrintable(name));
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

void Sandbox::SetCatalogue(const QString& packaged)
{
    SetCatalogue(Packaged(packaged), TestEnv::CatalogueDir() + "/files");
}

void Sandbox::Stop()
{
    if (process.state() == QProcess::NotRunning) {
        return;
    }
    ::kill(pid_t(process.processId()), SIGTERM);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

QString Sandbox::Origin(const QString& server) const
{
    return origins.value(server).toString();
}

QString Sandbox::CaFile() const
{
    return origins.value("ca").toString();
}

void Sandbox::WriteServerSettings(bool trustCa) const
{
    QSettings settings(TestEnv::SettingsFile(), QSettings::IniFormat);
    settings.beginGroup("Servers");
    for (const QString server : {"Account", "AccountWeb", "Store", "Statistics", "Documents"}) {
        settings.setValue(server, Origin(server.toLower()));
    }
    settings.setValue("Faq", Origin("documents") + "/faq");
    if (trustCa) {
        settings.setValue("CaCertificates", CaFile());
    } else {
        settings.remove("CaCertificates");
    }
}

QByteArray Sandbox::Call(const QByteArray& method, const QString& path, const QByteArray& body)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(Origin("control") + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply* reply = manager.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray answer = reply->readAll();
    if (!reply->isFinished() || reply->error() != QNetworkReply::NoError) {
        qWarning() << "sandbox control" << method << path << "failed:" << reply->errorString();
    }
    delete reply;
    return answer;
}

void Sandbox::SetCatalogue(const QJsonObject& catalogue, const QString& baseDir)
{
    QJsonObject withBase = catalogue;
    withBase.insert("baseDir", QDir(baseDir).absolutePath());
    withBase.insert("filesDir", QDir(baseDir).absolutePath());
    Call("POST", "/catalogue", QJsonDocument(withBase).toJson());
}

void Sandbox::AddFault(const QJsonObject& fault)
{
    Call("POST", "/faults", QJsonDocument(fault).toJson());
}

void Sandbox::AddFault(const QString& server, const QString& path, QJsonObject fault)
{
    fault.insert("server", server);
    fault.insert("path", path);
    AddFault(fault);
}

void Sandbox::ClearFaults()
{
    Call("DELETE", "/faults");
}

QJsonArray Sandbox::Requests(const QString& server)
{
    return QJsonDocument::fromJson(Call("GET", "/requests?server=" + server)).array();
}

QStringList Sandbox::Targets(const QString& server)
{
    QStringList targets;
    for (const QJsonValue& request : Requests(server)) {
        targets << request["method"].toString() + " " + request["path"].toString();
    }
    return targets;
}

QStringList Sandbox::Gets(const QString& server)
{
    QStringList gets;
    for (const QJsonValue& request : Requests(server)) {
        if (request["method"].toString() == "GET") {
            gets << request["path"].toString() + " " + request["headers"]["Range"].toString();
        }
    }
    return gets;
}

void Sandbox::ClearRequests()
{
    Call("DELETE", "/requests");
}

QJsonArray Sandbox::Reports()
{
    return QJsonDocument::fromJson(Call("GET", "/reports")).array();
}

void Sandbox::ClearReports()
{
    Call("DELETE", "/reports");
}

QString Sandbox::CaptchaCode(const QString& srandom)
{
    return QJsonDocument::fromJson(Call("GET", "/captcha?srandom=" + srandom))
        .object()
        .value("code")
        .toString();
}

QString Sandbox::LastCaptchaCode()
{
    return QJsonDocument::fromJson(Call("GET", "/captcha")).object().value("code").toString();
}

void Sandbox::AddToken(const QString& token, const QString& account)
{
    Call("POST", "/tokens", QJsonDocument(QJsonObject{{"token", token}, {"account", account}}).toJson());
}

QJsonObject Sandbox::Version(const QString& version, int isPatch, const QString& noteUrl)
{
    return QJsonObject{{"version", version},
                       {"ispatch", isPatch},
                       {"spaceDesc", version + " GB"},
                       {"packageurl", "{files}/files/" + version + ".7z"},
                       {"md5", "00"},
                       {"noteurl", noteUrl.isEmpty() ? "{files}/files/" + version + ".txt" : noteUrl}};
}

QJsonObject Sandbox::WithVersions(QJsonObject catalogue, const QJsonArray& versions)
{
    catalogue.insert("versions", QJsonObject{{"SkyTrainer", versions}});
    return catalogue;
}

QJsonObject Sandbox::BasicCatalogue()
{
    return QJsonObject{
        {"users",
         QJsonArray{QJsonObject{{"account", "pilot@example.com"},
                                {"password", "secret"},
                                {"userId", "1001"},
                                {"product", "SkyTrainer"}},
                    // Refused with a code the launcher has no words for.
                    QJsonObject{{"account", "blocked@example.com"}, {"password", "x"}, {"loginCode", 7}}}},
        {"products",
         QJsonArray{QJsonObject{{"code", "SkyTrainer"}, {"bgImage", "{documents}/images/SkyTrainer.png"}}}},
    };
}
