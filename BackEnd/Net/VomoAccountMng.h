#pragma once

#include "RestClient.h"

#include <QImage>
#include <QObject>
#include <QRandomGenerator>

#include <functional>

class ObjectRegistry;
class QNetworkRequest;

// Client of the account server: captcha, sign-in, and sign-in with the stored token.
class VomoAccountMng : public QObject
{
    Q_OBJECT
public:
    using VerifyCodeCallback = std::function<void(bool ok, const QImage& image)>;
    using LoginCallback = std::function<void(bool ok, const QString& field, const QString& message)>;
    using AutoLoginCallback = std::function<void(bool ok, const QString& message)>;

    explicit VomoAccountMng(QObject* parent = nullptr);

    void GetVerifyCode(const VerifyCodeCallback& completion);
    // v holds "ACCOUNT", "PASSWORD", "VERIF_CODE" and "AREA_CODE".
    void Login(const QJsonObject& v, const LoginCallback& completion);
    void AutoLogin(const AutoLoginCallback& completion);

    ObjectRegistry* registry = nullptr;

    // What each answer of the account server does; the requests hand their answers here.
    void LoginAck(bool ok, const QJsonObject& body);
    void AutoLoginAck(bool ok, const QJsonObject& body);

private:
    void Sign();
    void ApplyHeaders(QNetworkRequest& request) const;
    QNetworkRequest SignedRequest(const QString& path);

    QString clientName;
    QString deviceId;
    QString appId;
    QString timestamp;
    QString invokeId;
    QString sign;
    RestClient rest;
    QString srandom;
    VerifyCodeCallback verifyCodeCallback;
    LoginCallback loginCallback;
    AutoLoginCallback autoLoginCallback;
    QString baseUrl;
    QRandomGenerator random;
};

QString OsName();
QString OsVersion();
QString DeviceId();
QString HmacSha1Hex(const QByteArray& key, const QByteArray& message);
// The signature of the identification headers: Base64 of HMAC-SHA1 over each name followed by its value.
QString SignHeaders(const QString& appId, const QString& clientName, const QString& deviceId,
                    const QString& invokeId, const QString& timestamp);
