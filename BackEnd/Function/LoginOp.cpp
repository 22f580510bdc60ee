#include "LoginOp.h"

#include "GlobalUiOp.h"
#include "ObjectRegistry.h"
#include "RamDB.h"
#include "ServerConfig.h"
#include "ShopAccountMng.h"
#include "VomoAccountMng.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QImage>
#include <QJsonObject>
#include <QUrl>

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
    auto* ui = registry->Peer<GlobalUiOp>();
    ui->showWait(tr("登录Vomo账号"));
    registry->Peer<VomoAccountMng>()->Login(
        QJsonObject::fromVariantMap(v), [this, ui](bool ok, const QString& field, const QString& message) {
            ui->hideWait();
            refreshVerifyCode();
            if (!ok) {
                emit accountErrorHint(field, message);
                return;
            }
            OpenSession();
        });
}

void LoginOp::OpenSession()
{
    auto* ui = registry->Peer<GlobalUiOp>();
    ui->showWait(tr("创建产品服务会话"));
    registry->Peer<ShopAccountMng>()->CreateSession([this, ui](bool ok, const QString& message) {
        ui->hideWait();
        if (!ok) {
            emit accountErrorHint(QString(), message);
            return;
        }
        FetchProduct();
    });
}

void LoginOp::FetchProduct()
{
    auto* ui = registry->Peer<GlobalUiOp>();
    ui->showWait(tr("获取激活产品"));
    registry->Peer<ShopAccountMng>()->GetProductInfo([this, ui](bool ok, const QString& message) {
        ui->hideWait();
        if (!ok) {
            ui->showError(message);
            return;
        }
        emit over(true);
    });
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
