#pragma once

#include "Proc7zOp.h"

#include <QObject>
#include <QStringList>

class ObjectRegistry;
class RamDB;

// Turns the downloaded packages into an installed game: verifies every package's MD5, optionally empties
// the product folder, and extracts the packages one after another into the install location.
class GameInstaller : public QObject
{
    Q_OBJECT
public:
    explicit GameInstaller(QObject* parent = nullptr);

    ObjectRegistry* registry = nullptr;

    void Install();

signals:
    void ProgressBar(int value);
    void StateChanged(bool isInstall);
    void Finish(bool ok, QString reason);
    void InstallVerChanged(QString version);

private:
    void SetInstalling(bool installing);
    void Fail(const QString& reason);
    void Succeed();
    void MarkExtracted();
    void VerifyAt();
    void OnVerified(bool state, const QString& reason, bool stopped);
    void ExtractAt();
    void OnExtracted(bool isOk, const QString& reason);
    void OnExtractionFailed(const QString& reason);
    void DeletePackage(int at);
    void Relay(float rate);

    QStringList packList;
    QStringList versionList;
    QStringList md5List;
    // Digests of the packages this installation has extracted, including those of earlier runs.
    QStringList done;
    int index = 0;
    // The links below the product folder when the current extraction started.
    QStringList links;
    Proc7zOp extractor;
};
