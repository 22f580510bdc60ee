#pragma once

#include "Key.h"

#include <QObject>
#include <QVariant>

class ObjectRegistry;
class RamDB;

// The store as QML sees it: each property reads one key; writes go to the store, whose DbSaved comes
// back through DdChanged as the property's change signal.
class GlobalData : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString account READ account WRITE setAccount NOTIFY accountChanged)
    Q_PROPERTY(bool isAuto READ isAuto WRITE setIsAuto NOTIFY isAutoChanged)
    Q_PROPERTY(QString newVersion READ newVersion WRITE setNewVersion NOTIFY newVersionChanged)
    Q_PROPERTY(QString curVersion READ curVersion WRITE setCurVersion NOTIFY curVersionChanged)
    Q_PROPERTY(QString gameLocation READ gameLocation WRITE setGameLocation NOTIFY gameLocationChanged)
    Q_PROPERTY(QString gameSize READ gameSize WRITE setGameSize NOTIFY gameSizeChanged)
    Q_PROPERTY(QString newLauncherVersion READ newLauncherVersion NOTIFY newLauncherVersionChanged)
    Q_PROPERTY(QString curLauncherVersion READ curLauncherVersion NOTIFY curLauncherVersionChanged)
    Q_PROPERTY(QString productBgImage READ productBgImage NOTIFY productBgImageChanged)
    Q_PROPERTY(bool isGameStart READ isGameStart NOTIFY isGameStartChanged)
    Q_PROPERTY(bool isLauncherNeedUpdate READ isLauncherNeedUpdate NOTIFY isLauncherNeedUpdateChanged)
    Q_PROPERTY(QString productName READ productName NOTIFY productNameChanged)
    Q_PROPERTY(bool isSignedIn READ isSignedIn WRITE setIsSignedIn NOTIFY isSignedInChanged)
    Q_PROPERTY(QString docServer READ docServer CONSTANT)
    Q_PROPERTY(QString faqUrl READ faqUrl CONSTANT)
    Q_PROPERTY(QString defaultLocation READ defaultLocation CONSTANT)
public:
    explicit GlobalData(QObject* parent = nullptr);

    ObjectRegistry* registry = nullptr;

    QString account() const;
    void setAccount(const QString& value);
    bool isAuto() const;
    void setIsAuto(bool value);
    QString newVersion() const;
    void setNewVersion(const QString& value);
    QString curVersion() const;
    void setCurVersion(const QString& value);
    QString gameLocation() const;
    void setGameLocation(const QString& value);
    QString gameSize() const;
    void setGameSize(const QString& value);
    QString newLauncherVersion() const;
    QString curLauncherVersion() const;
    QString productBgImage() const;
    bool isGameStart() const;
    bool isLauncherNeedUpdate() const;
    QString productName() const;
    bool isSignedIn() const;
    void setIsSignedIn(bool value);
    // Base URL of the document server, the FAQ page, and the install location first proposed.
    QString docServer() const;
    QString faqUrl() const;
    QString defaultLocation() const;

signals:
    void accountChanged();
    void isAutoChanged();
    void newVersionChanged();
    void curVersionChanged();
    void gameLocationChanged();
    void gameSizeChanged();
    void newLauncherVersionChanged();
    void curLauncherVersionChanged();
    void productBgImageChanged();
    void isGameStartChanged();
    void isLauncherNeedUpdateChanged();
    void productNameChanged();
    void isSignedInChanged();

public slots:
    void DdChanged(KEY key, QVariant var);

private:
};
