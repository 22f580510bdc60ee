#include "LoginOp.h"

#include "GlobalUiOp.h"
#include "ObjectRegistry.h"
#include "RamDB.h"
#include "ServerConfig.h"
#include "ShopAccountMng.h"
#include "StepChain.h"
#include "VomoAccountMng.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QImage>
#include <QJsonObject>
#include <QUrl>

#include <memory>

LoginOp::LoginOp(QObject* parent) : QObject(parent) {}

int LoginOp::Language() const
{
    return registry->Peer<RamDB>()->GetInt(MULTI_LANG, 0);
}

void LoginOp::refreshVerifyCode()
{
    registry->Peer<VomoAccountMng>()->GetVerifyCode([this](bool ok, const QImage& image) {
        if (!ok) {
            emit accountErrorHint(QStringLiteral("verify"), tr("无法获得验证码图片"));
            return;
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        url = QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
        emit verifyUrlChanged();
    });
}

void LoginOp::loginVomoAccount(const QVariantMap& v)
{
    // The account service names the wrong field beside its message; the hint under that field needs it.
    auto field = std::make_shared<QString>();
    auto* shop = registry->Peer<ShopAccountMng>();
    StepChain(registry->Peer<GlobalUiOp>())
        .Call(tr("登录Vomo账号"),
              [this, form = QJsonObject::fromVariantMap(v), field](const StepChain::Done& done) {
                  registry->Peer<VomoAccountMng>()->Login(
                      form, [done, field](bool ok, const QString& wrongField, const QString& message) {
                          *field = wrongField;
                          done(ok, message);
                      });
              })
        // A new captcha after every attempt, failed or not.
        .OrElse([this, field](const QString& message) {
            refreshVerifyCode();
            emit accountErrorHint(*field, message);
        })
        .Then([this] { refreshVerifyCode(); })
        .Call(tr("创建产品服务会话"), shop, &ShopAccountMng::CreateSession)
        .OrElse([this](const QString& message) { emit accountErrorHint(QString(), message); })
        .Call(tr("获取激活产品"), shop, &ShopAccountMng::GetProductInfo)
        .Then([this] { emit over(true); })
        .Run();
}

void LoginOp::showForgetPassword()
{
    const int language = Language();
    const QString locale = language == 1   ? QStringLiteral("zh_CN")
                           : language == 3 ? QStringLiteral("ja_JP")
                                           : QStringLiteral("en_US");
    QDesktopServices::openUrl(
        QUrl(ServerConfig::AccountWeb() + QStringLiteral("/resetPasswd?appId=store&locale=") + locale));
}

void LoginOp::showRegisterVomoAccount()
{
    const int language = Language();
    const QString section = language == 1   ? QStringLiteral("cn%2Fuser&locale=zh_CN")
                            : language == 3 ? QStringLiteral("user&locale=ja_JP")
                                            : QStringLiteral("user&locale=en_US");
    const QString home =
        QString::fromLatin1(QUrl::toPercentEncoding(ServerConfig::AccountWeb() + QLatin1Char('/')));
    QDesktopServices::openUrl(QUrl(ServerConfig::AccountWeb() +
                                   QStringLiteral("/user/register.html?appId=store&backUrl=") + home +
                                   section));
}
