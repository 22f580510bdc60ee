#pragma once

#include "Key.h"

#include <QJsonArray>
#include <QMap>
#include <QObject>
#include <QSettings>
#include <QVariant>

// The launcher's shared state: every key's current value, with the persisted keys mirrored in the
// user's settings file.
class RamDB : public QObject
{
    Q_OBJECT
public:
    explicit RamDB(QObject* parent = nullptr);

    // The user's settings file, which holds the persisted keys.
    static QString SettingsFile();

    QString GetString(const KEY& key, const QString& def = QString()) const;
    bool GetBool(const KEY& key, bool def = false) const;
    int GetInt(const KEY& key, int def = 0) const;
    QJsonArray GetJsonArray(const KEY& key, const QJsonArray& def = QJsonArray()) const;
    QVariant GetValue(const KEY& key, const QVariant& def = QVariant()) const;

    void SetString(const KEY& key, const QString& value);
    void SetBool(const KEY& key, bool value);
    void SetInt(const KEY& key, int value);
    void SetJsonArray(const KEY& key, const QJsonArray& value);
    void SetValue(const KEY& key, const QVariant& value);

    // Product codes name the game's folder under the install location: anything that could leave that
    // folder, or name no folder at all, is not a product code.
    static bool IsValidProductCode(const QString& code);

signals:
    void DbSaved(KEY key, QVariant value);

private:
    void Write(const KEY& key, const QVariant& value);

    QMap<QString, QVariant> values;
    QSettings settings;
};

// Stores the product code; when it names another product than before, the download and installation
// state of the old product is dropped. A code that is not a valid product code is refused (false).
bool SetProductCode(RamDB* db, const QString& code);
