#pragma once

#include <QQmlNetworkAccessManagerFactory>

// Gives the QML engine bounded network access managers with a disk cache, so remote images load once.
class QmlNetMngFactory : public QQmlNetworkAccessManagerFactory
{
public:
    QNetworkAccessManager* create(QObject* parent) override;
};
