#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>

class QNetworkAccessManager;
class QUrl;

// Addresses of the remote servers. Each has a compiled-in default that the settings file's [Servers]
// group may override; there is no other place to configure them.
class ServerConfig
{
public:
    static QString Account();
    static QString AccountWeb();
    static QString Store();
    static QString Statistics();
    static QString Documents();
    static QString Faq();
    // PEM file whose certificates are trusted besides the system's; empty for none.
    static QString CaCertificates();

    // Whether every configured address has a scheme its server may use: https for the account, store and
    // statistics servers, which carry tokens and reports, http or https for the web pages and documents.
    // False with the text to show, naming the setting.
    static bool Check(QString& error);

    // The certificates of CaCertificates(), trusted as roots besides the system's; none without that file.
    static QList<QSslCertificate> ExtraRoots();
    // Makes the manager's connections trust a chain to ExtraRoots(), host name included, as well as those the
    // system trusts.
    static void InstallTrust(QNetworkAccessManager* manager);

    // Whether the address is on a web server (http or https, with a host). Whatever the store names to be
    // downloaded must be: another scheme would read a local file, or a pipe that never ends.
    static bool IsWebAddress(const QUrl& url);

private:
    static QString Value(const char* name, const char* fallback);
};
