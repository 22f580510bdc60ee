#pragma once

#include <QMap>
#include <QString>

// Name-to-object map through which back-end objects find their peers. It owns nothing.
class ObjectRegistry
{
public:
    // The first registration of a name wins.
    void RegisterObject(const QString& name, void* object);
    // Null for a name that is not registered.
    void* FindObject(const QString& name) const;

    // Every name stands for one fixed type, so the caller knows what it asks for.
    template <class T>
    T* Find(const QString& name) const
    {
        return static_cast<T*>(FindObject(name));
    }

private:
    QMap<QString, void*> objects;
};
