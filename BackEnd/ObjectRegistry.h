#pragma once

#include <QMap>
#include <QString>

class CrmService;
class GameDownloader;
class GameInstaller;
class GameLauncher;
class GlobalUiOp;
class LauncherDownloader;
class MultiLang;
class PathMng;
class RamDB;
class ShopAccountMng;
class VomoAccountMng;

// The back-end objects that find each other through the registry, each under its class's name.
#define AVIRO_PEERS(X)                                                                                       \
    X(CrmService)                                                                                            \
    X(GameDownloader)                                                                                        \
    X(GameInstaller)                                                                                         \
    X(GameLauncher)                                                                                          \
    X(GlobalUiOp)                                                                                            \
    X(LauncherDownloader)                                                                                    \
    X(MultiLang)                                                                                             \
    X(PathMng)                                                                                               \
    X(RamDB)                                                                                                 \
    X(ShopAccountMng)                                                                                        \
    X(VomoAccountMng)

// The name a peer is registered under; a type that is not a peer has none, and asking for it does not
// compile.
template <class T>
struct PeerName;
#define AVIRO_PEER_NAME(type)                                                                                \
    template <>                                                                                              \
    struct PeerName<type>                                                                                    \
    {                                                                                                        \
        static QString Get() { return QStringLiteral(#type); }                                               \
    };
AVIRO_PEERS(AVIRO_PEER_NAME)
#undef AVIRO_PEER_NAME

// Name-to-object map through which back-end objects find their peers. It owns nothing.
class ObjectRegistry
{
public:
    // The first registration of a name wins.
    void RegisterObject(const QString& name, void* object);
    // Null for a name that is not registered.
    void* FindObject(const QString& name) const;

    template <class T>
    void Register(T* peer)
    {
        RegisterObject(PeerName<T>::Get(), peer);
    }
    // The peer of that type; null until it is registered.
    template <class T>
    T* Peer() const
    {
        return static_cast<T*>(FindObject(PeerName<T>::Get()));
    }
    // The shared store, which nearly every part reads.
    RamDB* Db() const { return Peer<RamDB>(); }

private:
    QMap<QString, void*> objects;
};
