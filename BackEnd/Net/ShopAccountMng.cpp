#include "ShopAccountMng.h"

#include "ErrorSuffix.h"
#include "Logging.h"
#include "ObjectRegistry.h"
#include "RamDB.h"
#include "ServerConfig.h"

#include <QJsonDocument>
#include <QNetworkReply>

namespace {

constexpr int kPageSize = 20;
constexpr int kMaxPages = 50;

QString ErrorText(const char* text, int error, int detail, int location)
{
    return ShopAccountMng::tr(text) + ErrorSuffix(ErrShop, error, detail, location);
}

QString BrokenAnswer(int error, int location)
{
    return ErrorText(QT_TRANSLATE_NOOP("ShopAccountMng", "Json应答解析错误"), error, 0, location);
}

// A failed transfer, told as the REST client saw it: a refused reply says why.
QString NetworkErrorText(const RestClient& rest, const char* text, int error, int location)
{
    return rest.FailureText(ShopAccountMng::tr(text)) +
           ErrorSuffix(ErrShop, error, rest.FailureDetail(), location) + rest.CauseLine();
}

// Where each answer's failures are reported from. An answer without an empty-body check (empty < 0) is
// judged by its result alone; fallback gives a refusal without a description a text of its own.
struct AnswerCodes
{
    const char* networkText;
    int networkError;
    int networkLocation;
    int emptyError;
    int emptyLocation;
    const char* descriptionKey;
    int refusedError;
    int refusedLocation;
    bool fallback;
};

// Why the store's answer cannot be used, ready to show; empty when it can.
QString Refusal(const RestClient& rest, bool ok, const QJsonObject& body, const AnswerCodes& codes)
{
    if (!ok) {
        return NetworkErrorText(rest, codes.networkText, codes.networkError, codes.networkLocation);
    }
    if (codes.emptyError >= 0 && body.isEmpty()) {
        return BrokenAnswer(codes.emptyError, codes.emptyLocation);
    }
    if (body.value(QStringLiteral("result")).toString() == QLatin1String("ok")) {
        return QString();
    }
    QString description = body.value(QLatin1String(codes.descriptionKey)).toString();
    if (description.isEmpty() && codes.fallback) {
        description = ShopAccountMng::tr("网络请求错误");
    }
    return description + ErrorSuffix(ErrShop, codes.refusedError, 0, codes.refusedLocation);
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
            Finish(sessionCallback, false, ErrorText(QT_TR_NOOP("创建会话失败"), 0, reply->error(), 66));
            return;
        }
        const QByteArray session = rest.GetCookie(reply->url(), "_session");
        if (session.isEmpty()) {
            Finish(sessionCallback, false, ErrorText(QT_TR_NOOP("会话ID为空"), 1, 0, 71));
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
    const QString refusal = Refusal(
        rest, ok, body, {QT_TR_NOOP("网络请求错误"), 11, 298, 12, 303, "description", 13, 307, false});
    if (!refusal.isEmpty()) {
        Finish(versionListCallback, false, refusal);
        return;
    }
    if (!WellTyped(body.value(QStringLiteral("data")), {"version"},
                   {"spaceDesc", "packageurl", "md5", "noteurl"})) {
        Finish(versionListCallback, false, BrokenAnswer(12, 303));
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
            Finish(versionListCallback, false, ErrorText(QT_TR_NOOP("未知类型安装包"), 14, 0, 337));
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
        Refusal(rest, ok, body, {QT_TR_NOOP("网络错误"), 3, 115, 4, 121, "descript", 5, 125, false});
    if (!refusal.isEmpty()) {
        Finish(productCallback, false, refusal);
        return;
    }
    if (!WellTyped(body.value(QStringLiteral("data")), {}, {"product", "bgImage"})) {
        Finish(productCallback, false, BrokenAnswer(4, 121));
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
        Finish(productCallback, false, ErrorText(QT_TR_NOOP("产品代码无效"), 15, 0, 131));
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
        Refusal(rest, ok, body, {QT_TR_NOOP("网络请求错误"), 6, 235, -1, 0, "description", 7, 240, false});
    if (!refusal.isEmpty()) {
        Finish(noteListCallback, false, refusal);
        return;
    }
    if (!WellTyped(body.value(QStringLiteral("data")), {}, {"version", "noteurl"})) {
        Finish(noteListCallback, false, BrokenAnswer(16, 241));
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
        Refusal(rest, ok, body, {QT_TR_NOOP("网络请求错误"), 8, 263, -1, 0, "description", 9, 269, true});
    if (!refusal.isEmpty()) {
        Finish(launcherVersionCallback, false, refusal);
        return;
    }
    if (!WellTyped(body.value(QStringLiteral("data")), {"version"}, {"packageurl", "md5"})) {
        Finish(launcherVersionCallback, false, BrokenAnswer(17, 276));
        return;
    }
    const QJsonArray data = body.value(QStringLiteral("data")).toArray();
    if (data.isEmpty()) {
        Finish(launcherVersionCallback, false, ErrorText(QT_TR_NOOP("Launcher版本列表为空"), 10, 0, 275));
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
