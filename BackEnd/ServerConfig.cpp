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
#include <QSslConfiguration>
#include <QThreadPool>
#include <QUrl>

#include <future>

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

namespace {

// The system's roots, read on a thread of their own from the first manager's making on: reading them takes
// longer than building the window, and only the first request needs them. The thread is one of Qt's pool,
// which the application waits for when it ends: a quit before the roots are read must not tear Qt down
// under the reading.
const std::shared_future<QList<QSslCertificate>>& SystemRoots()
{
    static const std::shared_future<QList<QSslCertificate>> roots = [] {
        auto promise = std::make_shared<std::promise<QList<QSslCertificate>>>();
        std::shared_future<QList<QSslCertificate>> future = promise->get_future().share();
        QThreadPool::globalInstance()->start(
            [promise] { promise->set_value(QSslConfiguration::systemCaCertificates()); });
        return future;
    }();
    return roots;
}

} // namespace

QList<QSslCertificate> ServerConfig::InstallTrust()
{
    // Requests start on the window's thread and on the QML engine's loader threads alike.
    static QMutex lock;
    const QMutexLocker guard(&lock);
    static bool done = false;
    static QString installed;
    static QSslConfiguration original;
    static QList<QSslCertificate> extra;
    const QString path = CaCertificates();
    if (done && path == installed) {
        return extra;
    }
    if (!done) {
        original = QSslConfiguration::defaultConfiguration();
    }
    done = true;
    installed = path;
    // Qt's default is left alone unless there is something to add: a list set on it ends Qt's loading of
    // system roots on demand (Windows fetches the roots it has not cached yet that way).
    QSslConfiguration config = original;
    extra = path.isEmpty() ? QList<QSslCertificate>() : QSslCertificate::fromPath(path, QSsl::Pem);
    if (!path.isEmpty() && extra.isEmpty()) {
        qCWarning(lcShell) << "No certificate could be read from" << path;
    }
    if (!extra.isEmpty()) {
        config.setCaCertificates(SystemRoots().get() + extra);
    }
    QSslConfiguration::setDefaultConfiguration(config);
    return extra;
}

void ServerConfig::InstallTrust(QNetworkAccessManager* manager)
{
    if (!CaCertificates().isEmpty()) {
        SystemRoots();
    }
    // Schannel takes the configured certificates as intermediates only, never as roots, and fails every chain
    // that ends in one of them; such a chain is checked again with them as its only extra roots.
    QObject::connect(manager, &QNetworkAccessManager::sslErrors, manager,
                     [](QNetworkReply* reply, const QList<QSslError>& errors) {
                         if (Platform::ChainsToRoot(reply->sslConfiguration().peerCertificateChain(),
                                                    reply->url().host(), InstallTrust())) {
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
