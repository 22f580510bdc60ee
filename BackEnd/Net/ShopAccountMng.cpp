#include "ShopAccountMng.h"

#include "Failure.h"
#include "Logging.h"
#include "ObjectRegistry.h"
#include "RamDB.h"
#include "ServerConfig.h"

#include <QJsonDocument>
#include <QNetworkReply>

namespace {

constexpr int kPageSize = 20;
constexpr int kMaxPages = 50;

Failure BrokenAnswer()
{
    return Failure(ErrShop, ShopAccountMng::tr("Json应答解析错误"));
}

// A refusal says why in the answer's description, under `key`; `fallback` stands in for a missing one.
Failure Refused(const QJsonObject& body, const char* key, const QString& fallback = QString())
{
    const QString description = body.value(QLatin1String(key)).toString();
    return Failure(ErrShop, description.isEmpty() ? fallback : description);
}

// Why the store's answer cannot be used, ready to show; empty when it can. The transfer is judged first,
// then the answer's result.
QString Refusal(bool ok, const QJsonObject& body, const Failure& network, const Failure& refused)
{
    if (!ok) {
        return network;
    }
    if (body.value(QStringLiteral("result")).toString() == QLatin1String("ok")) {
        return QString();
    }
    return refused;
}

// The same for an answer that must have a body: an empty one is broken.
QString Refusal(bool ok, const QJsonObject& body, const Failure& network, const Failure& broken,
                const Failure& refused)
{
    if (ok && body.isEmpty()) {
        return broken;
    }
    return Refusal(ok, body, network, refused);
}

// Whether an answer's list and its entries have the types the launcher reads: an object, or a list of
// objects, whose named members are strings. A member of another type is a broken answer, never a value (a
// version {"v":1} must not read as an empty version); `required` members must be there as well.
bool WellTyped(const QJsonValue& data, std::initializer_list<const char*> required,
               std::initializer_list<const char*> optional)
{
    if (data.isUndefined() || data.isNull()) {
        return true;
    }
    if (!data.isArray()) {
        return false;
    }
    for (const QJsonValue& element : data.toArray()) {
        if (!element.isObject()) {
            return false;
        }
        const QJsonObject entry = element.toObject();
        for (const char* key : required) {
            if (!entry.value(QLatin1String(key)).isString()) {
                return false;
            }
        }
        for (const char* key : optional) {
            const QJsonValue value = entry.value(QLatin1String(key));
            if (!value.isUndefined() && !value.isString()) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

ShopAccountMng::ShopAccountMng(QObject* parent) : QObject(parent), rest(this), baseUrl(ServerConfig::Store())
{
    qCDebug(lcNet) << "Shop Account Url: " << baseUrl;
}

void ShopAccountMng::Finish(Completion completion, bool ok, const QString& message)
{
    if (completion) {
        completion(ok, message);
    }
}

void ShopAccountMng::SetTokenCookie()
{
    rest.ResetCookies();
    rest.SetCookie("_token", registry->Db()->GetString(USER_TOKEN).toUtf8());
}

void ShopAccountMng::SetSessionCookies()
{
    rest.ResetCookies();
    const QString session = registry->Db()->GetString(SESSION_ID);
    const QString token = registry->Db()->GetString(USER_TOKEN);
    qCDebug(lcNet) << "Session: " << session << "Token: " << token;
    rest.SetCookie("_session", session.toUtf8());
    rest.SetCookie("_token", token.toUtf8());
}

void ShopAccountMng::CreateSession(const Completion& completion)
{
    sessionCallback = completion;
    SetTokenCookie();
    ReplyCallbacks callbacks;
    callbacks.rawCallback = [this](bool ok, QNetworkReply* reply) {
        if (!ok) {
            Finish(sessionCallback, false,
                   Failure(ErrShop, tr("创建会话失败")).Error(0).Detail(reply->error()).At(66));
            return;
        }
        const QByteArray session = rest.GetCookie(reply->url(), "_session");
        if (session.isEmpty()) {
            Finish(sessionCallback, false, Failure(ErrShop, tr("会话ID为空")).Error(1).At(71));
            return;
        }
        qCDebug(lcNet) << "Recv Session: " << session;
        qCDebug(lcNet) << "ShopAccountMng::CreateSession "
                       << "Succ";
        registry->Db()->SetString(SESSION_ID, QString::fromUtf8(session));
        SetSessionCookies();
        Finish(sessionCallback, true, QString());
    };
    rest.PostJson(baseUrl + QStringLiteral("/api/v2/session"), QJsonObject(), callbacks);
}

void ShopAccountMng::GetProductInfo(const Completion& completion)
{
    productCallback = completion;
    ReplyCallbacks callbacks;
    callbacks.jsonCallback = [this](bool ok, const QJsonObject& body) { ProductInfoAck(ok, body); };
    rest.Get(baseUrl + QStringLiteral("/api/v2/users/") + registry->Db()->GetString(USER_ID) +
                 QStringLiteral("/product"),
             QJsonObject(), callbacks);
}

void ShopAccountMng::GetVersionList(const Completion& completion)
{
    setupList = QJsonArray();
    followedIds.clear();
    versionListCallback = completion;
    firstPage = true;
    RequestVersionPage(QJsonValue());
}

void ShopAccountMng::RequestVersionPage(const QJsonValue& nextId)
{
    QJsonObject params{{QStringLiteral("rank"), QStringLiteral("desc")},
                       {QStringLiteral("pagesize"), kPageSize}};
    const QString current = registry->Db()->GetString(CURRENT_VERSION);
    if (!current.isEmpty()) {
        params.insert(QStringLiteral("from"), current);
    }
    if (!nextId.isUndefined()) {
        params.insert(QStringLiteral("nextid"), nextId);
    }
    ReplyCallbacks callbacks;
    callbacks.jsonCallback = [this](bool ok, const QJsonObject& body) { VersonListAck(ok, body); };
    rest.Get(baseUrl + QStringLiteral("/api/v2/appversion"), params, callbacks);
}

void ShopAccountMng::VersonListAck(bool ok, const QJsonObject& body)
{
    const QString refusal =
        Refusal(ok, body, rest.NetworkFailure(ErrShop, tr("网络请求错误")).Error(11).At(298),
                BrokenAnswer().Error(12).At(303), Refused(body, "description").Error(13).At(307));
    if (!refusal.isEmpty()) {
        Finish(versionListCallback, false, refusal);
        return;
    }
    if (!WellTyped(body.value(QStringLiteral("data")), {"version"},
                   {"spaceDesc", "packageurl", "md5", "noteurl"})) {
        Finish(versionListCallback, false, BrokenAnswer().Error(12).At(303));
        return;
    }
    const QJsonArray data = body.value(QStringLiteral("data")).toArray();
    // A full page without a new way to the next one is the last page: asking again would repeat it for
    // ever. So is the page at the bound, which no real list comes near.
    const QJsonValue nextId = body.value(QStringLiteral("nextid"));
    const QString nextKey =
        QString::fromUtf8(QJsonDocument(QJsonArray{nextId}).toJson(QJsonDocument::Compact));
    const bool lastPage = data.size() < kPageSize || nextId.isUndefined() || nextId.isNull() ||
                          nextId == QJsonValue(QString()) || followedIds.contains(nextKey) ||
                          followedIds.size() + 1 >= kMaxPages;
    RamDB* db = registry->Db();
    if (firstPage && data.isEmpty()) {
        db->SetJsonArray(SETUP_LIST, QJsonArray());
        db->SetString(NEWEST_VERSION, db->GetString(CURRENT_VERSION));
        db->SetBool(NOT_NEED_UPDATE, true);
        Finish(versionListCallback, true, QString());
        return;
    }
    bool fullFound = false;
    for (const QJsonValue& element : data) {
        const int kind = element.toObject().value(QStringLiteral("ispatch")).toInt(0);
        if (kind == 1) {
            if (setupList.isEmpty()) {
                setupList.prepend(element);
            }
        } else if (kind == 2) {
            setupList.prepend(element);
            fullFound = true;
            break;
        } else {
            Finish(versionListCallback, false, Failure(ErrShop, tr("未知类型安装包")).Error(14).At(337));
            return;
        }
    }
    if (!fullFound && !lastPage) {
        firstPage = false;
        followedIds.insert(nextKey);
        RequestVersionPage(nextId);
        return;
    }
    db->SetJsonArray(SETUP_LIST, setupList);
    const QJsonObject newestEntry = setupList.last().toObject();
    const QString newest = newestEntry.value(QStringLiteral("version")).toString();
    db->SetString(NEWEST_VERSION, newest);
    db->SetString(NEWEST_VERSION_SIZE, newestEntry.value(QStringLiteral("spaceDesc")).toString());
    db->SetBool(NOT_NEED_UPDATE, newest == db->GetString(CURRENT_VERSION));
    qCDebug(lcNet) << "ShopAccountMng::VersonListAck "
                   << "Succ";
    qCDebug(lcNet) << "Product Newest Version: " << newest;
    db->SetBool(IS_CLEAN_INSTALL, fullFound);
    Finish(versionListCallback, true, QString());
}

void ShopAccountMng::GetNoteList(const Completion& completion)
{
    noteListCallback = completion;
    ReplyCallbacks callbacks;
    callbacks.jsonCallback = [this](bool ok, const QJsonObject& body) { NoteListAck(ok, body); };
    rest.Get(baseUrl + QStringLiteral("/api/v2/appversion"),
             {{QStringLiteral("rank"), QStringLiteral("desc")}, {QStringLiteral("pagesize"), kPageSize}},
             callbacks);
}

void ShopAccountMng::GetLauncherVersion(const Completion& completion)
{
    launcherVersionCallback = completion;
    ReplyCallbacks callbacks;
    callbacks.jsonCallback = [this](bool ok, const QJsonObject& body) { LauncherVersionAck(ok, body); };
    rest.Get(baseUrl + QStringLiteral("/api/v2/launcherversion"),
             {{QStringLiteral("rank"), QStringLiteral("desc")}, {QStringLiteral("pagesize"), 1}}, callbacks);
}

void ShopAccountMng::ProductInfoAck(bool ok, const QJsonObject& body)
{
    const QString refusal =
        Refusal(ok, body, rest.NetworkFailure(ErrShop, tr("网络错误")).Error(3).At(115),
                BrokenAnswer().Error(4).At(121), Refused(body, "descript").Error(5).At(125));
    if (!refusal.isEmpty()) {
        Finish(productCallback, false, refusal);
        return;
    }
    if (!WellTyped(body.value(QStringLiteral("data")), {}, {"product", "bgImage"})) {
        Finish(productCallback, false, BrokenAnswer().Error(4).At(121));
        return;
    }
    const QJsonArray data = body.value(QStringLiteral("data")).toArray();
    QString product;
    QString image;
    if (!data.isEmpty()) {
        const QJsonObject first = data.first().toObject();
        product = first.value(QStringLiteral("product")).toString();
        image = first.value(QStringLiteral("bgImage")).toString();
    }
    // The product code names the game's folder; one that is missing or could reach outside the
    // install location is refused before anything is derived from it.
    if (!RamDB::IsValidProductCode(product)) {
        qCDebug(lcNet) << "ShopAccountMng::GetProductInfo refused the product code [ " << product << " ]";
        Finish(productCallback, false, Failure(ErrShop, tr("产品代码无效")).Error(15).At(131));
        return;
    }
    qCDebug(lcNet) << "ShopAccountMng::GetProductInfo "
                   << "Succ";
    qCDebug(lcNet) << "Product Code: [ " << product << " ]";
    qCDebug(lcNet) << "Product Image Url: [ " << image << " ]";
    registry->Db()->SetString(PRODUCT_IMAGE_URL, image);
    SetProductCode(registry->Db(), product);
    Finish(productCallback, true, QString());
}

void ShopAccountMng::NoteListAck(bool ok, const QJsonObject& body)
{
    const QString refusal =
        Refusal(ok, body, rest.NetworkFailure(ErrShop, tr("网络请求错误")).Error(6).At(235),
                Refused(body, "description").Error(7).At(240));
    if (!refusal.isEmpty()) {
        Finish(noteListCallback, false, refusal);
        return;
    }
    if (!WellTyped(body.value(QStringLiteral("data")), {}, {"version", "noteurl"})) {
        Finish(noteListCallback, false, BrokenAnswer().Error(16).At(241));
        return;
    }
    const QJsonArray data = body.value(QStringLiteral("data")).toArray();
    registry->Db()->SetJsonArray(NOTES_LIST, data);
    qCDebug(lcNet) << "Note List" << QJsonDocument(data).toJson(QJsonDocument::Compact);
    qCDebug(lcNet) << "ShopAccountMng::GetNoteList "
                   << "Succ";
    Finish(noteListCallback, true, QString());
}

void ShopAccountMng::LauncherVersionAck(bool ok, const QJsonObject& body)
{
    const QString refusal =
        Refusal(ok, body, rest.NetworkFailure(ErrShop, tr("网络请求错误")).Error(8).At(263),
                Refused(body, "description", tr("网络请求错误")).Error(9).At(269));
    if (!refusal.isEmpty()) {
        Finish(launcherVersionCallback, false, refusal);
        return;
    }
    if (!WellTyped(body.value(QStringLiteral("data")), {"version"}, {"packageurl", "md5"})) {
        Finish(launcherVersionCallback, false, BrokenAnswer().Error(17).At(276));
        return;
    }
    const QJsonArray data = body.value(QStringLiteral("data")).toArray();
    if (data.isEmpty()) {
        Finish(launcherVersionCallback, false,
               Failure(ErrShop, tr("Launcher版本列表为空")).Error(10).At(275));
        return;
    }
    qCDebug(lcNet) << "Launcher Reply: " << QJsonDocument(data).toJson(QJsonDocument::Compact);
    qCDebug(lcNet) << "ShopAccountMng::GetLauncherVersion "
                   << "Succ";
    const QJsonObject first = data.first().toObject();
    RamDB* db = registry->Db();
    db->SetString(NEWEST_LAUNCHER_VERSION, first.value(QStringLiteral("version")).toString());
    db->SetString(NEWEST_LAUNCHER_URL, first.value(QStringLiteral("packageurl")).toString());
    db->SetString(NEWEST_LAUNCHER_MD5, first.value(QStringLiteral("md5")).toString());
    Finish(launcherVersionCallback, true, QString());
}
