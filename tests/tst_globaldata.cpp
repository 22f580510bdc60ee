#include "GlobalData.h"
#include "MultiLang.h"
#include "Services.h"
#include "TestEnv.h"

#include <QSignalSpy>

class TestGlobalData : public QObject
{
    Q_OBJECT
private:
    Services services;
    RamDB* db = &services.db;
    QStringList emitted;

    static QString FailedToStart() { return QCoreApplication::translate("QObject", "无法启动"); }

public slots:
    void Record()
    {
        emitted << QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name());
    }

private slots:
    // Each key shown in the window notifies its own property and nothing else.
    void storeWritesNotifyTheirProperty_data()
    {
        Columns<QString, QString>({"keyName", "signal"});
        Row("account", "USER_ACCOUNT", "accountChanged");
        Row("auto", "IS_AUTO_LOGIN", "isAutoChanged");
        Row("current", "CURRENT_VERSION", "curVersionChanged");
        Row("newest", "NEWEST_VERSION", "newVersionChanged");
        Row("size", "NEWEST_VERSION_SIZE", "gameSizeChanged");
        Row("location", "GAME_LOCATION", "gameLocationChanged");
        Row("launcher", "NEWEST_LAUNCHER_VERSION", "newLauncherVersionChanged");
        Row("image", "PRODUCT_IMAGE_URL", "productBgImageChanged");
        Row("running", "IS_RUNNING_GAME", "isGameStartChanged");
        Row("needs update", "IS_LAUNCHER_NEED_UPDATE", "isLauncherNeedUpdateChanged");
        Row("product", "PRODUCT_CODE", "productNameChanged");
        Row("not shown", "SESSION_ID", "");
    }
    void storeWritesNotifyTheirProperty()
    {
        auto [keyName, signal] = Fetch<QString, QString>({"keyName", "signal"});
        GlobalData gd;
        gd.registry = &services.registry;
        connect(db, &RamDB::DbSaved, &gd, &GlobalData::DdChanged);
        const QMetaObject* meta = gd.metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            if (meta->method(i).methodType() == QMetaMethod::Signal) {
                connect(&gd, meta->method(i), this,
                        metaObject()->method(metaObject()->indexOfSlot("Record()")));
            }
        }
        emitted.clear();
        db->SetValue(*KEY::Find(keyName), QVariant("1"));
        QCOMPARE(emitted, signal.isEmpty() ? QStringList() : QStringList{signal});
    }

    // The chosen language's translation replaces the other and its index is stored; the same index again
    // changes nothing, and an index of no language is not stored.
    void languages()
    {
        db->SetInt(MULTI_LANG, 0);
        MultiLang lang;
        lang.registry = &services.registry;
        lang.InitLangs();
        QCOMPARE(lang.langs(), (QStringList{"English", "简体中文"}));
        QCOMPARE(FailedToStart(), QString("Failed to start."));
        QSignalSpy changed(&lang, &MultiLang::langIdxChanged);
        lang.setLangIdx(1);
        QCOMPARE(FailedToStart(), QString("无法启动"));
        QCOMPARE(db->GetInt(MULTI_LANG), 1);
        QCOMPARE(lang.langCode(), QString("zh-CN"));
        lang.setLangIdx(1);
        QCOMPARE(changed.count(), 1);
        lang.setLangIdx(5);
        QCOMPARE(db->GetInt(MULTI_LANG), 1);
        QCOMPARE(FailedToStart(), QString("无法启动"));
        lang.setLangIdx(0);
        QCOMPARE(FailedToStart(), QString("Failed to start."));
    }
};

AVIRO_TEST_MAIN(TestGlobalData)
#include "tst_globaldata.moc"
