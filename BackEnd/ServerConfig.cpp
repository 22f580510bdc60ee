#include "ServerConfig.h"

#include <QDebug>
#include <QSettings>
#include <QSslCertificate>
#include <QSslConfiguration>

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

void ServerConfig::InstallTrust()
{
    static bool done = false;
    static QString installed;
    static QSslConfiguration original;
    const QString path = CaCertificates();
    if (done && path == installed) {
        return;
    }
    if (!done) {
        original = QSslConfiguration::defaultConfiguration();
    }
    done = true;
    installed = path;
    // Qt's default is left alone unless there is something to add: a list set on it ends Qt's loading of
    // system roots on demand (Windows fetches the roots it has not cached yet that way).
    QSslConfiguration config = original;
    const QList<QSslCertificate> extra =
        path.isEmpty() ? QList<QSslCertificate>() : QSslCertificate::fromPath(path, QSsl::Pem);
    if (!path.isEmpty() && extra.isEmpty()) {
        qWarning() << "No certificate could be read from" << path;
    }
    if (!extra.isEmpty()) {
        config.setCaCertificates(QSslConfiguration::systemCaCertificates() + extra);
    }
    QSslConfiguration::setDefaultConfiguration(config);
}
