#include "QmlNetMngFactory.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QStandardPaths>

QNetworkAccessManager* QmlNetMngFactory::create(QObject* parent)
{
    auto* manager = new QNetworkAccessManager(parent);
    auto* cache = new QNetworkDiskCache(manager);
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    qDebug() << "qml cache path:" << dir;
    cache->setCacheDirectory(dir);
    cache->setMaximumCacheSize(104857600);
    manager->setCache(cache);
    return manager;
}
