#include "Key.h"

#include <QHash>

#define AVIRO_DEFINE_KEY(name, persisted) const KEY name{#name, persisted};
AVIRO_KEYS(AVIRO_DEFINE_KEY)
#undef AVIRO_DEFINE_KEY

const QVector<const KEY*>& KEY::All()
{
#define AVIRO_KEY_ADDRESS(name, persisted) &name,
    static const QVector<const KEY*> all{AVIRO_KEYS(AVIRO_KEY_ADDRESS)};
#undef AVIRO_KEY_ADDRESS
    return all;
}

const KEY* KEY::Find(const QString& name)
{
    static const QHash<QString, const KEY*> table = [] {
        QHash<QString, const KEY*> map;
        for (const KEY* key : All()) {
            map.insert(QString::fromLatin1(key->name), key);
        }
        return map;
    }();
    return table.value(name, nullptr);
}
