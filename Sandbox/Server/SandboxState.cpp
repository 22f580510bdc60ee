#include "SandboxState.h"

#include "Captcha.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRandomGenerator>

#include <httplib.h>

namespace {

constexpr int kMaxRecordedRequests = 5000;

QString RandomHex(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    for (char& byte : raw) {
        byte = char(QRandomGenerator::global()->bounded(256));
    }
    return QString::fromLatin1(raw.toHex());
}

QString FileMd5(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace

Fault Fault::FromJson(const QJsonObject& json)
{
    Fault fault;
    fault.server = json.value("server").toString();
    fault.path = json.value("path").toString();
    fault.method = json.value("method").toString();
    fault.stallMs = json.value("stallMs").toInt(0);
    fault.stallAfter = qint64(json.value("stallAfter").toDouble(-1));
    fault.throttle = qint64(json.value("throttle").toDouble(0));
    fault.dropAfter = qint64(json.value("dropAfter").toDouble(-1));
    fault.ignoreRange = json.value("ignoreRange").toBool(false);
    fault.shiftRange = qint64(json.value("shiftRange").toDouble(0));
    fault.length = json.value("length").toString();
    fault.status = json.value("status").toInt(0);
    fault.body = json.contains("bodyBase64")
                     ? QByteArray::fromBase64(json.value("bodyBase64").toString().toLatin1())
                     : json.value("body").toString().toUtf8();
    fault.redirect = json.value("redirect").toString();
    fault.noSessionCookie = json.value("noSessionCookie").toBool(false);
    fault.times = json.value("times").toInt(-1);
    return fault;
}

bool SandboxState::LoadCatalogue(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot read " + path;
        return false;
    }
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        error = path + ": " + parseError.errorString();
        return false;
    }
    SetCatalogue(document.object(), QFileInfo(path).absolutePath());
    return true;
}

void SandboxState::SetCatalogue(const QJsonObject& newCatalogue, const QString& newBaseDir)
{
    QJsonObject resolved = newCatalogue;
    const QString filesDir = QDir(newBaseDir).absoluteFilePath(resolved.value("filesDir").toString("."));
    // Digests the catalogue leaves out are worked out from the files, so small catalogues stay short.
    const auto fillMd5 = [&](QJsonArray entries) {
        for (int i = 0; i < entries.size(); ++i) {
            QJsonObject entry = entries.at(i).toObject();
            if (!entry.contains("md5") && entry.contains("file")) {
                entry.insert("md5", FileMd5(QDir(filesDir).absoluteFilePath(entry.value("file").toString())));
            }
            entries.replace(i, entry);
        }
        return entries;
    };
    QJsonObject versions = resolved.value("versions").toObject();
    for (auto it = versions.begin(); it != versions.end(); ++it) {
        it.value() = fillMd5(it.value().toArray());
    }
    resolved.insert("versions", versions);
    resolved.insert("launchers", fillMd5(resolved.value("launchers").toArray()));

    std::lock_guard<std::mutex> guard(lock);
    catalogue = resolved;
    baseDir = filesDir;
    for (const QJsonValue& token : catalogue.value("tokens").toArray()) {
        tokens.insert(token.toObject().value("token").toString(),
                      token.toObject().value("account").toString());
    }
}

void SandboxState::SetOrigins(const QMap<QString, QString>& newOrigins)
{
    std::lock_guard<std::mutex> guard(lock);
    origins = newOrigins;
}

QString SandboxState::Origin(const QString& server) const
{
    std::lock_guard<std::mutex> guard(lock);
    return origins.value(server);
}

QString SandboxState::Resolve(QString url) const
{
    for (auto it = origins.cbegin(); it != origins.cend(); ++it) {
        url.replace("{" + it.key() + "}", it.value());
    }
    return url;
}

QJsonObject SandboxState::ResolveEntry(QJsonObject entry, const char* fileKey, const char* urlKey,
                                       const char* noteKey) const
{
    if (entry.contains(fileKey) && !entry.contains(urlKey)) {
        entry.insert(urlKey, "{files}/files/" + entry.value(fileKey).toString());
    }
    if (noteKey != nullptr && entry.contains(noteKey) && !entry.contains("noteurl")) {
        entry.insert("noteurl", "{files}/files/" + entry.value(noteKey).toString());
    }
    entry.insert(urlKey, Resolve(entry.value(urlKey).toString()));
    if (entry.contains("noteurl")) {
        entry.insert("noteurl", Resolve(entry.value("noteurl").toString()));
    }
    entry.remove(fileKey);
    if (noteKey != nullptr) {
        entry.remove(noteKey);
    }
    return entry;
}

std::optional<QJsonObject> SandboxState::User(const QString& account) const
{
    std::lock_guard<std::mutex> guard(lock);
    for (const QJsonValue& user : catalogue.value("users").toArray()) {
        if (user.toObject().value("account").toString().compare(account, Qt::CaseInsensitive) == 0) {
            return user.toObject();
        }
    }
    return std::nullopt;
}

std::optional<QJsonObject> SandboxState::UserById(const QString& userId) const
{
    std::lock_guard<std::mutex> guard(lock);
    for (const QJsonValue& user : catalogue.value("users").toArray()) {
        if (user.toObject().value("userId").toString() == userId) {
            return user.toObject();
        }
    }
    return std::nullopt;
}

std::optional<QJsonObject> SandboxState::Product(const QString& code) const
{
    std::lock_guard<std::mutex> guard(lock);
    for (const QJsonValue& product : catalogue.value("products").toArray()) {
        if (product.toObject().value("code").toString() == code) {
            QJsonObject resolved = product.toObject();
            resolved.insert("bgImage", Resolve(resolved.value("bgImage").toString()));
            return resolved;
        }
    }
    return std::nullopt;
}

QJsonArray SandboxState::Versions(const QString& product) const
{
    std::lock_guard<std::mutex> guard(lock);
    QJsonArray result;
    for (const QJsonValue& entry : catalogue.value("versions").toObject().value(product).toArray()) {
        result.append(ResolveEntry(entry.toObject(), "file", "packageurl", "note"));
    }
    return result;
}

QJsonArray SandboxState::Launchers() const
{
    std::lock_guard<std::mutex> guard(lock);
    QJsonArray result;
    for (const QJsonValue& entry : catalogue.value("launchers").toArray()) {
        result.append(ResolveEntry(entry.toObject(), "file", "packageurl", nullptr));
    }
    return result;
}

QString SandboxState::FilePath(const QString& relative) const
{
    std::lock_guard<std::mutex> guard(lock);
    const QString root = QDir(baseDir).canonicalPath();
    const QString path = QFileInfo(QDir(baseDir).absoluteFilePath(relative)).canonicalFilePath();
    if (root.isEmpty() || path.isEmpty() || !path.startsWith(root + "/")) {
        return {};
    }
    return path;
}

QString SandboxState::NewCaptcha(const QString& srandom)
{
    const QString code = Captcha::NewCode();
    std::lock_guard<std::mutex> guard(lock);
    captchas.insert(srandom, code);
    lastCaptcha = QJsonObject{{"srandom", srandom}, {"code", code}};
    return code;
}

QString SandboxState::CaptchaCode(const QString& srandom) const
{
    std::lock_guard<std::mutex> guard(lock);
    return captchas.value(srandom);
}

QString SandboxState::TakeCaptcha(const QString& srandom)
{
    std::lock_guard<std::mutex> guard(lock);
    return captchas.take(srandom);
}

QJsonObject SandboxState::LastCaptcha() const
{
    std::lock_guard<std::mutex> guard(lock);
    return lastCaptcha;
}

QString SandboxState::NewToken(const QString& account)
{
    const QString token = "tok-" + RandomHex(16);
    AddToken(token, account);
    return token;
}

void SandboxState::AddToken(const QString& token, const QString& account)
{
    std::lock_guard<std::mutex> guard(lock);
    tokens.insert(token, account);
}

QString SandboxState::TokenAccount(const QString& token) const
{
    std::lock_guard<std::mutex> guard(lock);
    return tokens.value(token);
}

QString SandboxState::NewSession(const QString& account)
{
    const QString session = "sess-" + RandomHex(12);
    std::lock_guard<std::mutex> guard(lock);
    sessions.insert(session, account);
    return session;
}

QString SandboxState::SessionAccount(const QString& session) const
{
    std::lock_guard<std::mutex> guard(lock);
    return sessions.value(session);
}

void SandboxState::AddFault(const Fault& fault)
{
    std::lock_guard<std::mutex> guard(lock);
    faults.append(fault);
}

void SandboxState::ClearFaults()
{
    std::lock_guard<std::mutex> guard(lock);
    faults.clear();
}

std::optional<Fault> SandboxState::TakeFault(const QString& server, const QString& method,
                                             const QString& path)
{
    std::lock_guard<std::mutex> guard(lock);
    for (int i = 0; i < faults.size(); ++i) {
        Fault& fault = faults[i];
        const bool pathMatches =
            fault.path.endsWith('*') ? path.startsWith(fault.path.chopped(1)) : path == fault.path;
        if (fault.server != server || !pathMatches || (!fault.method.isEmpty() && fault.method != method)) {
            continue;
        }
        const Fault taken = fault;
        if (fault.times > 0 && --fault.times == 0) {
            faults.removeAt(i);
        }
        return taken;
    }
    return std::nullopt;
}

void SandboxState::RecordRequest(const QString& server, const httplib::Request& req)
{
    QJsonObject headers;
    for (const auto& header : req.headers) {
        headers.insert(QString::fromStdString(header.first), QString::fromStdString(header.second));
    }
    const QJsonObject entry{
        {"server", server},
        {"method", QString::fromStdString(req.method)},
        {"path", QString::fromStdString(req.path)},
        {"target", QString::fromStdString(req.target)},
        {"headers", headers},
        {"body", QString::fromUtf8(QByteArray::fromStdString(req.body).left(4096))},
    };
    std::lock_guard<std::mutex> guard(lock);
    if (requests.size() >= kMaxRecordedRequests) {
        requests.removeFirst();
    }
    requests.append(entry);
}

QJsonArray SandboxState::Requests(const QString& server) const
{
    std::lock_guard<std::mutex> guard(lock);
    if (server.isEmpty()) {
        return requests;
    }
    QJsonArray selected;
    for (const QJsonValue& entry : requests) {
        if (entry.toObject().value("server").toString() == server) {
            selected.append(entry);
        }
    }
    return selected;
}

void SandboxState::ClearRequests()
{
    std::lock_guard<std::mutex> guard(lock);
    requests = QJsonArray();
}

void SandboxState::RecordReport(const QJsonObject& report)
{
    std::lock_guard<std::mutex> guard(lock);
    reports.append(report);
}

QJsonArray SandboxState::Reports() const
{
    std::lock_guard<std::mutex> guard(lock);
    return reports;
}

void SandboxState::ClearReports()
{
    std::lock_guard<std::mutex> guard(lock);
    reports = QJsonArray();
}
