#include "RamDB.h"

#include "PathMng.h"
#include "Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The settings file holds the sign-in token: it is the user's alone.
void RestrictToOwner(const QString& fileName)
{
    QFile file(fileName);
    if (!file.exists()) {
        QDir().mkpath(QFileInfo(fileName).absolutePath());
        if (!file.open(QIODevice::WriteOnly)) {
            return;
        }
        file.close();
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// The settings file, ready to be read. A link where it belongs is removed before anything reads it: neither
// read nor written through, wherever it leads, and the store's own file is made anew. A link that cannot be
// removed leaves the store without a file (no name) for this run.
QString OwnSettingsFile()
{
    const QString path = RamDB::SettingsFile();
    if (!RemoveStrayLink(path)) {
        return {};
    }
    RestrictToOwner(path);
    return path;
}

} // namespace

QString RamDB::SettingsFile()
{
    return Platform::UserConfigDir() + QStringLiteral("/VOMO/Vomo Skyworks.ini");
}

RamDB::RamDB(QObject* parent) : QObject(parent), settings(OwnSettingsFile(), QSettings::IniFormat)
{
    const QStringList names = settings.childKeys();
    for (const QString& name : names) {
        const KEY* key = KEY::Find(name);
        if (key != nullptr && key->persist) {
            values.insert(name, settings.value(name));
        }
    }
}

QString RamDB::GetString(const KEY& key, const QString& def) const
{
    const auto it = values.constFind(QLatin1String(key.name));
    return it == values.cend() ? def : it->toString();
}

bool RamDB::GetBool(const KEY& key, bool def) const
{
    const auto it = values.constFind(QLatin1String(key.name));
    return it == values.cend() ? def : it->toBool();
}

int RamDB::GetInt(const KEY& key, int def) const
{
    const auto it = values.constFind(QLatin1String(key.name));
    return it == values.cend() ? def : it->toInt();
}

QJsonArray RamDB::GetJsonArray(const KEY& key, const QJsonArray& def) const
{
    const auto it = values.constFind(QLatin1String(key.name));
    return it == values.cend() ? def : it->toJsonArray();
}

QVariant RamDB::GetValue(const KEY& key, const QVariant& def) const
{
    return values.value(QLatin1String(key.name), def);
}

void RamDB::SetString(const KEY& key, const QString& value)
{
    Write(key, value);
}

void RamDB::SetBool(const KEY& key, bool value)
{
    Write(key, value);
}

void RamDB::SetInt(const KEY& key, int value)
{
    Write(key, value);
}

void RamDB::SetJsonArray(const KEY& key, const QJsonArray& value)
{
    Write(key, value);
}

void RamDB::SetValue(const KEY& key, const QVariant& value)
{
    Write(key, value);
}

void RamDB::Write(const KEY& key, const QVariant& value)
{
    values.insert(QLatin1String(key.name), value);
    emit DbSaved(key, value);
    if (key.persist) {
        settings.setValue(QLatin1String(key.name), value);
        // On disk before the caller goes on: a step such as "this package is extracted, its file can go"
        // must survive a kill at any moment after it.
        settings.sync();
    }
}

bool RamDB::IsValidProductCode(const QString& code)
{
    if (code.isEmpty() || code == QLatin1String(".") || code.contains(QLatin1String(".."))) {
        return false;
    }
    return !code.contains(QLatin1Char('/')) && !code.contains(QLatin1Char('\\')) &&
           !code.contains(QLatin1Char(':')) && !code.contains(QChar(0));
}

bool SetProductCode(RamDB* db, const QString& code)
{
    if (!RamDB::IsValidProductCode(code)) {
        return false;
    }
    const QString previous = db->GetString(PRODUCT_CODE);
    db->SetString(PRODUCT_CODE, code);
    if (previous.isEmpty() || previous == code) {
        return true;
    }
    db->SetBool(IS_DOWNLOADING, false);
    db->SetBool(IS_INSTALLING, false);
    db->SetString(DOWNLOAD_VERSION, QString());
    db->SetString(INSTALL_VERSION, QString());
    db->SetString(CURRENT_VERSION, QString());
    return true;
}
