#pragma once

#include "CrmService.h"
#include "GameDownloader.h"
#include "GameInstaller.h"
#include "GameLauncher.h"
#include "GameSettings.h"
#include "GlobalData.h"
#include "GlobalUiOp.h"
#include "LauncherDownloader.h"
#include "LauncherOp.h"
#include "LoginOp.h"
#include "MultiLang.h"
#include "NotesOp.h"
#include "ObjectRegistry.h"
#include "PathMng.h"
#include "RamDB.h"
#include "ShopAccountMng.h"
#include "VomoAccountMng.h"

#include <QObject>

// Owns the whole back end. Every back-end object is a member, so all of them live exactly as long as
// this object; they find each other through the registry.
class BackEnd : public QObject
{
    Q_OBJECT
    Q_PROPERTY(LoginOp* loginOp READ loginOp NOTIFY loginOpChanged)
    Q_PROPERTY(LauncherOp* launcherOp READ launcherOp NOTIFY launcherOpChanged)
    Q_PROPERTY(GlobalData* globalData READ globalData NOTIFY globalDataChanged)
    Q_PROPERTY(MultiLang* multiLang READ multiLang NOTIFY multiLangChanged)
    Q_PROPERTY(GlobalUiOp* globalUi READ globalUi NOTIFY globalUiChanged)
    Q_PROPERTY(NotesOp* notesOp READ notesOp NOTIFY notesOpChanged)
    Q_PROPERTY(QString version READ version NOTIFY versionChanged)
    Q_PROPERTY(GameSettings* gameSettings READ gameSettings NOTIFY gameSettingsChanged)
public:
    explicit BackEnd(QObject* parent = nullptr);

    // Wires the objects together and registers the QML module; on false, error holds the text to show.
    bool Init(QString& error);

    void RegisterObject(const QString& name, void* object);
    void* FindObject(const QString& name) const;
    template <class T>
    T* Peer() const
    {
        return registry.Peer<T>();
    }

    LoginOp* loginOp() { return &login; }
    LauncherOp* launcherOp() { return &launcher; }
    GlobalData* globalData() { return &gd; }
    GlobalUiOp* globalUi() { return &ui; }
    NotesOp* notesOp() { return &notes; }
    MultiLang* multiLang() { return &lang; }
    GameSettings* gameSettings() { return &settings; }
    QString version() const;

    // The instance the QML singleton hands out; set by Init.
    static BackEnd* instance;

signals:
    void loginOpChanged();
    void launcherOpChanged();
    void globalDataChanged();
    void multiLangChanged();
    void globalUiChanged();
    void notesOpChanged();
    void versionChanged();
    void gameSettingsChanged();

private:
    void RegisterQmlTypes();

    VomoAccountMng account;
    ShopAccountMng shop;
    CrmService crm;
    RamDB db;
    MultiLang lang;
    GameInstaller installer;
    GameDownloader gameDownloader;
    GameLauncher gameLauncher;
    GlobalUiOp ui;
    PathMng paths;
    ObjectRegistry registry;
    GlobalData gd;
    LoginOp login;
    LauncherOp launcher;
    NotesOp notes;
    LauncherDownloader launcherDownloader;
    GameSettings settings;
};
