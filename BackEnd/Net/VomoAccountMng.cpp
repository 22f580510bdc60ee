#include "VomoAccountMng.h"

#include "Failure.h"
#include "Logging.h"
#include "ObjectRegistry.h"
#include "Picture.h"
#include "Platform.h"
#include "RamDB.h"
#include "ServerConfig.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMessageAuthenticationCode>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUuid>

namespace {

// The captcha is a small picture, shown about 90 by 30 pixels: anything declaring more is no captcha, and
// one larger than twice its place is decoded at that size.
constexpr QSize kLargestCaptcha(1024, 1024);
constexpr QSize kShownCaptcha(200, 80);

const QByteArray kSigningKey = "3e9a41c7-0b6d-4f25-a8e3-5d27c0b914fa";

QString NetworkError()
{
    return QCoreApplication::translate("VomoAccountMng", "网络错误");
}

QString InvalidReply()
{
    return QCoreApplication::translate("VomoAccountMng", "服务器应答无效");
}

quint32 TimeSeed()
{
    const QTime now = QTime::currentTime();
    return quint32(now.second() * 1000 + now.msec());
}

// A reply only counts when it is a JSON object that carries a numeric "code".
bool ReadCode(const QJsonObject& body, int& code)
{
    const QJsonValue value = body.value(QStringLiteral("code"));
    if (!value.isDouble()) {
        return false;
    }
    code = value.toInt(0);
    return true;
}

} // namespace

QString OsName()
{
    return Platform::OsName();
}

QString OsVersion()
{
    return Platform::OsVersion();
}

QString DeviceId()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    if (interfaces.isEmpty()) {
        return {};
    }
    QString address = interfaces.first().hardwareAddress();
    address.remove(QLatin1Char(':'));
    return QStringLiteral("c51f07e2-9a3b-4d68-b2c4-") + address.toLower();
}

QString HmacSha1Hex(const QByteArray& key, const QByteArray& message)
{
    return QString::fromLatin1(
        QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha1).toHex());
}

QString SignHeaders(const QString& appId, const QString& clientName, const QString& deviceId,
                    const QString& invokeId, const QString& timestamp)
{
    const QString message = QStringLiteral("AppId-Mc") + appId + QStringLiteral("ClientName-Mc") +
                            clientName + QStringLiteral("DeviceId-Mc") + deviceId +
                            QStringLiteral("InvokeId-Mc") + invokeId + QStringLiteral("Timestamp-Mc") +
                            timestamp;
    const QString hex = HmacSha1Hex(kSigningKey, message.toLocal8Bit());
    return QString::fromLatin1(QByteArray::fromHex(hex.toLatin1()).toBase64());
}

VomoAccountMng::VomoAccountMng(QObject* parent)
    : QObject(parent), rest(this), baseUrl(ServerConfig::Account()), random(TimeSeed())
{
    qCDebug(lcNet) << "VOMO account member center sever: " << baseUrl;
    qCDebug(lcNet) << "VOMO account login Sever: " << baseUrl;
    appId = QStringLiteral("AviroLauncher");
    clientName = OsName() + QLatin1Char('-') + OsVersion() + QLatin1Char('-') + QStringLiteral("1.0.0.0");
    const QString device = DeviceId();
    deviceId = device.isEmpty() ? QString() : device.mid(1, device.size() - 2);
}

void VomoAccountMng::Sign()
{
    timestamp = QString::number(QDateTime::currentMSecsSinceEpoch());
    invokeId = QUuid::createUuid().toString(QUuid::WithBraces);
    sign = SignHeaders(appId, clientName, deviceId, invokeId, timestamp);
}

void VomoAccountMng::ApplyHeaders(QNetworkRequest& request) const
{
    request.setRawHeader("ClientName-Mc", clientName.toLatin1());
    request.setRawHeader("DeviceId-Mc", deviceId.toLatin1());
    request.setRawHeader("AppId-Mc", appId.toLatin1());
    request.setRawHeader("Timestamp-Mc", timestamp.toLatin1());
    request.setRawHeader("InvokeId-Mc", invokeId.toLatin1());
    request.setRawHeader("Sign-Mc", sign.toLatin1());
}

QNetworkRequest VomoAccountMng::SignedRequest(const QString& path)
{
    Sign();
    QNetworkRequest request(QUrl::fromUserInput(baseUrl + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    ApplyHeaders(request);
    qCDebug(lcNet) << request.url();
    return request;
}

void VomoAccountMng::GetVerifyCode(const VerifyCodeCallback& completion)
{
    srandom = QString::number(random.bounded(0x7fffffff));
    verifyCodeCallback = completion;
    ReplyCallbacks callbacks;
    callbacks.rawCallback = [this](bool ok, QNetworkReply* reply) {
        QImage image;
        if (ok) {
            image = Picture::Decode(reply->readAll(), kLargestCaptcha, kShownCaptcha, "PNG");
            if (image.isNull()) {
                qCDebug(lcNet) << "VomoAccountMng::GetVerifyCode refused a picture that is not a captcha";
                ok = false;
            }
        } else {
            qCCritical(lcNet) << reply->errorString();
        }
        qCDebug(lcNet) << "VomoAccountMng::GetVerifyCode "
                       << "Succ";
        const VerifyCodeCallback done = verifyCodeCallback;
        if (done) {
            done(ok, image);
        }
    };
    rest.Get(baseUrl + QStringLiteral("/apis/apprest/v1/vcode"), {{QStringLiteral("srandom"), srandom}},
             callbacks);
}

void VomoAccountMng::Login(const QJsonObject& v, const LoginCallback& completion)
{
    RamDB* db = registry->Peer<RamDB>();
    db->SetString(USER_ACCOUNT, v.value(QStringLiteral("ACCOUNT")).toString());
    loginCallback = completion;
    const QJsonObject form{
        {QStringLiteral("areaCode"), v.value(QStringLiteral("AREA_CODE"))},
        {QStringLiteral("userName"), v.value(QStringLiteral("ACCOUNT"))},
        {QStringLiteral("password"), v.value(QStringLiteral("PASSWORD"))},
        {QStringLiteral("verificationCode"), v.value(QStringLiteral("VERIF_CODE"))},
        {QStringLiteral("srandom"), srandom},
    };
    QNetworkRequest request = SignedRequest(QStringLiteral("/apis/apprest/v1/user_login"));
    ReplyCallbacks callbacks;
    callbacks.jsonCallback = [this](bool ok, const QJsonObject& body) { LoginAck(ok, body); };
    rest.Post(request, ToQuery(form), callbacks);
}

void VomoAccountMng::AutoLogin(const AutoLoginCallback& completion)
{
    RamDB* db = registry->Peer<RamDB>();
    if (!db->GetBool(USER_IS_LOGIN, false)) {
        completion(false, Failure(ErrAccount, QCoreApplication::translate("VomoAccountMng",
                                                                          "没有成功登陆过，无法自动登录"))
                              .Error(1)
                              .At(167));
        return;
    }
    autoLoginCallback = completion;
    const QJsonObject form{{QStringLiteral("token"), db->GetString(USER_TOKEN)}};
    QNetworkRequest request = SignedRequest(QStringLiteral("/apis/apprest/v1/token"));
    ReplyCallbacks callbacks;
    callbacks.jsonCallback = [this](bool ok, const QJsonObject& body) { AutoLoginAck(ok, body); };
    rest.Post(request, ToQuery(form), callbacks);
}

void VomoAccountMng::LoginAck(bool ok, const QJsonObject& body)
{
    // A copy: the completion may sign in again and so replace the stored one while it runs.
    const LoginCallback done = loginCallback;
    if (!done) {
        return;
    }
    if (!ok) {
        done(false, QString(), rest.NetworkFailure(ErrAccount, NetworkError()).Error(0).At(119));
        return;
    }
    int code = 0;
    if (!ReadCode(body, code)) {
        done(false, QString(), Failure(ErrAccount, InvalidReply()).Error(2).At(130));
        return;
    }
    if (code != 0) {
        switch (code) {
        case 305:
            done(false, QStringLiteral("password"), QObject::tr("密码错误"));
            break;
        case 502:
            done(false, QStringLiteral("account"), QObject::tr("用户不存在"));
            break;
        case 524:
            done(false, QStringLiteral("verify"), QObject::tr("验证码错误"));
            break;
        default:
            done(false, QString(), QObject::tr("错误码：") + QString::number(code));
            break;
        }
        return;
    }
    const QJsonObject data = body.value(QStringLiteral("data")).toObject();
    const QString token = data.value(QStringLiteral("token")).toString();
    if (token.isEmpty()) {
        done(false, QString(), Failure(ErrAccount, InvalidReply()).Error(2).At(137));
        return;
    }
    RamDB* db = registry->Peer<RamDB>();
    db->SetString(USER_TOKEN, token);
    db->SetString(USER_ID, data.value(QStringLiteral("user_id")).toString());
    db->SetBool(USER_IS_LOGIN, true);
    qCDebug(lcNet) << "VomoAccountMng::Login Token" << token;
    qCDebug(lcNet) << "VomoAccountMng::Login "
                   << "Succ";
    done(true, QString(), QString());
}

void VomoAccountMng::AutoLoginAck(bool ok, const QJsonObject& body)
{
    const AutoLoginCallback done = autoLoginCallback;
    if (!done) {
        return;
    }
    if (!ok) {
        done(false, rest.NetworkFailure(ErrAccount, NetworkError()).Error(0).At(187));
        return;
    }
    int code = 0;
    if (!ReadCode(body, code)) {
        done(false, Failure(ErrAccount, InvalidReply()).Error(2).At(195));
        return;
    }
    if (code != 0) {
        done(false, QStringLiteral("登陆错误码: %1").arg(code));
        return;
    }
    qCDebug(lcNet) << "VomoAccountMng::AutoLogin "
                   << "Succ";
    done(true, QString());
}
