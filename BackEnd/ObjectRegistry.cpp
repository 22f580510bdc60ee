#include "ObjectRegistry.h"

void ObjectRegistry::RegisterObject(const QString& name, void* object)
{
    if (!objects.contains(name)) {
        objects.insert(name, object);
    }
}

void* ObjectRegistry::FindObject(const QString& name) const
{
    return objects.value(name, nullptr);
}
