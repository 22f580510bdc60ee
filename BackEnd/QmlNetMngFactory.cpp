#include "QmlNetMngFactory.h"

#include "Logging.h"
#include "QmlNetMng.h"

#include <QNetworkDiskCache>
#include <QStandardPaths>

QNetworkAccessManager* QmlNetMngFactory::create(QObject* parent)
{
    auto* manager = new QmlNetMng(parent);
    auto* cache = new QNetworkDiskCache(manager);
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    qCDebug(lcShell) << "qml cache path:" << dir;
    cache->setCacheDirectory(dir);
    cache->setMaximumCacheSize(104857600);
    manager->setCache(cache);
    return manager;
}
