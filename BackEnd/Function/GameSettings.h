#pragma once

#include <QObject>
#include <QStringList>

class ObjectRegistry;
class RamDB;
struct KEY;

// The game's display and control settings as QML sees them; every property is a key of the store.
class GameSettings : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int imageQuality READ imageQuality WRITE setImageQuality NOTIFY imageQualityChanged)
    Q_PROPERTY(QStringList resolutionList READ resolutionList NOTIFY resolutionListChanged)
    Q_PROPERTY(int resolution READ resolution WRITE setResolution NOTIFY resolutionChanged)
    Q_PROPERTY(int windowMode READ windowMode WRITE setWindowMode NOTIFY windowModeChanged)
    Q_PROPERTY(int rcMode READ rcMode WRITE setRcMode NOTIFY rcModeChanged)
public:
    explicit GameSettings(QObject* parent = nullptr);

    ObjectRegistry* registry = nullptr;

    // Recomputes the resolution's width and height, which are not persisted, from the stored index.
    void Init();

    int imageQuality() const;
    void setImageQuality(int value);
    QStringList resolutionList() const;
    int resolution() const;
    void setResolution(int value);
    int windowMode() const;
    void setWindowMode(int value);
    int rcMode() const;
    void setRcMode(int value);

signals:
    void imageQualityChanged();
    void resolutionChanged();
    void windowModeChanged();
    void resolutionListChanged();
    void rcModeChanged();

private:
    bool Write(const KEY& key, int value);
    void ApplyResolution(int index);
};
