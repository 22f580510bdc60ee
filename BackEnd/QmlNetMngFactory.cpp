#include "QmlNetMngFactory.h"

#include "QmlNetMng.h"

#include <QDebug>
#include <QNetworkDiskCache>
#include <QStandardPaths>

QNetworkAccessManager* QmlNetMngFactory::create(QObject* parent)
{
    auto* manager = new QmlNetMng(parent);
    auto* cache = new QNetworkDiskCache(manager);
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    qDebug() << "qml cache path:" << dir;
    cache->setCacheDirectory(dir);
    cache->setMaximumCacheSize(104857600);
    manager->setCache(cache);
    return manager;
}
