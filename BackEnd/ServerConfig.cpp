#include "ServerConfig.h"

#include "Failure.h"
#include "Logging.h"
#include "Platform.h"

#include <QCoreApplication>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QSslCertificate>
#include <QUrl>

QString ServerConfig::Value(const char* name, const char* fallback)
{
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("VOMO"),
                             QStringLiteral("Vomo Skyworks"));
    QString value = settings.value(QStringLiteral("Servers/") + QLatin1String(name), QLatin1String(fallback))
                        .toString()
                        .trimmed();
    while (value.endsWith(QLatin1Char('/'))) {
        value.chop(1);
    }
    return value;
}

QString ServerConfig::Account()
{
    return Value("Account", "https://passport.vomoskyworks.com");
}

QString ServerConfig::AccountWeb()
{
    return Value("AccountWeb", "https://account.vomoskyworks.com");
}

QString ServerConfig::Store()
{
    return Value("Store", "https://store.vomoskyworks.com:3443");
}

QString ServerConfig::Statistics()
{
    return Value("Statistics", "https://stat.vomoskyworks.com");
}

QString ServerConfig::Documents()
{
    return Value("Documents", "https://docs.vomoskyworks.com");
}

QString ServerConfig::Faq()
{
    return Value("Faq", "https://www.vomoskyworks.com/faq");
}

QString ServerConfig::CaCertificates()
{
    return Value("CaCertificates", "");
}

bool ServerConfig::Check(QString& error)
{
    struct Setting
    {
        const char* name;
        QString value;
        bool secureOnly;
    };
    const Setting settings[] = {
        {"Account", Account(), true},       {"Store", Store(), true},
        {"Statistics", Statistics(), true}, {"AccountWeb", AccountWeb(), false},
        {"Documents", Documents(), false},  {"Faq", Faq(), false},
    };
    for (const Setting& setting : settings) {
        const QString scheme = QUrl(setting.value).scheme().toLower();
        const bool allowed =
            scheme == QLatin1String("https") || (!setting.secureOnly && scheme == QLatin1String("http"));
        if (!allowed) {
            const QString expected =
                setting.secureOnly ? QStringLiteral("https") : QStringLiteral("http/https");
            const QString reason =
                QCoreApplication::translate("ServerConfig", "服务器地址无效：[Servers] %1=%2（应为 %3）")
                    .arg(QLatin1String(setting.name), setting.value, expected);
            error = Failure(ErrServerConfig, reason).Error(0).At(40);
            return false;
        }
    }
    return true;
}

QList<QSslCertificate> ServerConfig::ExtraRoots()
{
    // Asked on the window's thread and on the QML engine's loader threads alike.
    static QMutex lock;
    const QMutexLocker guard(&lock);
    static bool read = false;
    static QString readPath;
    static QList<QSslCertificate> roots;
    const QString path = CaCertificates();
    if (read && path == readPath) {
        return roots;
    }
    read = true;
    readPath = path;
    roots = path.isEmpty() ? QList<QSslCertificate>() : QSslCertificate::fromPath(path, QSsl::Pem);
    if (!path.isEmpty() && roots.isEmpty()) {
        qCWarning(lcShell) << "No certificate could be read from" << path;
    }
    return roots;
}

void ServerConfig::InstallTrust(QNetworkAccessManager* manager)
{
    // Qt's trust is left as it is: a list of roots set on it would be read whole into every connection, and
    // would end the loading of system roots on demand. A chain the system does not trust is checked again
    // with the configured certificates as its only roots, host name included.
    QObject::connect(manager, &QNetworkAccessManager::sslErrors, manager,
                     [](QNetworkReply* reply, const QList<QSslError>& errors) {
                         if (Platform::ChainsToRoot(reply->sslConfiguration().peerCertificateChain(),
                                                    reply->url().host(), ExtraRoots())) {
                             reply->ignoreSslErrors(errors);
                         }
                     });
}

bool ServerConfig::IsWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}
