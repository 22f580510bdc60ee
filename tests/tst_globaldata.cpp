#include "GlobalData.h"
#include "MultiLang.h"
#include "ObjectRegistry.h"
#include "RamDB.h"
#include "TestEnv.h"

#include <QSignalSpy>

class TestGlobalData : public QObject
{
    Q_OBJECT
private:
    RamDB* db = nullptr;
    GlobalData* gd = nullptr;
    ObjectRegistry registry;

private slots:
    void initTestCase()
    {
        db = new RamDB(this);
        gd = new GlobalData(this);
        registry.RegisterObject("RamDB", db);
        gd->registry = &registry;
        connect(db, &RamDB::DbSaved, gd, &GlobalData::DdChanged);
    }

    void fallbacksForMissingValues()
    {
        QCOMPARE(gd->newVersion(), QString("Unkown"));
        QCOMPARE(gd->curVersion(), QString("Unkown"));
        QCOMPARE(gd->gameSize(), QString("10.0 GB"));
        QCOMPARE(gd->curLauncherVersion(), QString("2.1.0.1"));
        QSignalSpy changed(gd, &GlobalData::newVersionChanged);
        db->SetString(NEWEST_VERSION, "1.0.2.0");
        QCOMPARE(changed.count(), 1);
        QCOMPARE(gd->newVersion(), QString("1.0.2.0"));
        db->SetString(NEWEST_VERSION, "");
        QCOMPARE(gd->newVersion(), QString("Unkown"));
        QCOMPARE(db->GetString(NEWEST_VERSION, "x"), QString());
    }

    void writesGoThroughTheStore()
    {
        QSignalSpy changed(gd, &GlobalData::gameLocationChanged);
        gd->setGameLocation("/games");
        gd->setGameLocation("/games");
        QCOMPARE(changed.count(), 2);
        QCOMPARE(db->GetString(GAME_LOCATION), QString("/games"));
    }

    // Each shown key notifies its own property and nothing else.
    void storeWritesNotifyTheirProperty_data()
    {
        QTest::addColumn<QString>("keyName");
        QTest::addColumn<QString>("signal");
        QTest::newRow("account") << "USER_ACCOUNT"
                                 << "accountChanged";
        QTest::newRow("auto") << "IS_AUTO_LOGIN"
                              << "isAutoChanged";
        QTest::newRow("current") << "CURRENT_VERSION"
                                 << "curVersionChanged";
        QTest::newRow("size") << "NEWEST_VERSION_SIZE"
                              << "gameSizeChanged";
        QTest::newRow("launcher") << "NEWEST_LAUNCHER_VERSION"
                                  << "newLauncherVersionChanged";
        QTest::newRow("image") << "PRODUCT_IMAGE_URL"
                               << "productBgImageChanged";
        QTest::newRow("running") << "IS_RUNNING_GAME"
                                 << "isGameStartChanged";
        QTest::newRow("needs update") << "IS_LAUNCHER_NEED_UPDATE"
                                      << "isLauncherNeedUpdateChanged";
        QTest::newRow("product") << "PRODUCT_CODE"
                                 << "productNameChanged";
        QTest::newRow("not shown") << "SESSION_ID"
                                   << "";
    }
    void storeWritesNotifyTheirProperty()
    {
        QFETCH(QString, keyName);
        QFETCH(QString, signal);
        QStringList seen;
        const QMetaObject* meta = gd->metaObject();
        QList<QMetaObject::Connection> connections;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() == QMetaMethod::Signal) {
                connections << connect(gd, method, this,
                                       metaObject()->method(metaObject()->indexOfSlot("record()")));
            }
        }
        emitted.clear();
        db->SetValue(*KEY::Find(keyName), QVariant("1"));
        for (const auto& c : connections) {
            disconnect(c);
        }
        QCOMPARE(emitted, signal.isEmpty() ? QStringList() : QStringList{signal});
    }

    void languagesStartInEnglish()
    {
        MultiLang lang;
        lang.registry = &registry;
        lang.InitLangs();
        QCOMPARE(lang.langs(), (QStringList{"English", "简体中文"}));
        QCOMPARE(lang.langIdx(), 0);
        QCOMPARE(lang.langCode(), QString("en"));
        QVERIFY(!lang.isSimpChinese());
        QCOMPARE(QCoreApplication::translate("QObject", "无法启动"), QString("Failed to start."));
    }

    void switchingLanguage()
    {
        MultiLang lang;
        lang.registry = &registry;
        db->SetInt(MULTI_LANG, 0);
        lang.InitLangs();
        QStringList order;
        connect(&lang, &MultiLang::langChanged, this, [&] { order << "lang"; });
        connect(&lang, &MultiLang::langIdxChanged, this, [&] { order << "idx"; });
        connect(&lang, &MultiLang::langCodeChanged, this, [&] { order << "code"; });
        connect(&lang, &MultiLang::isSimpChineseChanged, this, [&] { order << "simp"; });

        lang.setLangIdx(1);
        QCOMPARE(order, (QStringList{"lang", "idx", "code", "simp"}));
        QCOMPARE(db->GetInt(MULTI_LANG), 1);
        QCOMPARE(lang.langCode(), QString("zh-CN"));
        QVERIFY(lang.isSimpChinese());
        QCOMPARE(QCoreApplication::translate("QObject", "无法启动"), QString("无法启动"));

        order.clear();
        lang.setLangIdx(1);
        QCOMPARE(order, QStringList());

        lang.setLangIdx(5);
        QCOMPARE(order, (QStringList{"idx", "code", "simp"}));
        QCOMPARE(db->GetInt(MULTI_LANG), 1);

        lang.setLangIdx(0);
        QCOMPARE(QCoreApplication::translate("QObject", "无法启动"), QString("Failed to start."));
    }

public slots:
    void record()
    {
        emitted << QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name());
    }

private:
    QStringList emitted;
};

AVIRO_TEST_MAIN(TestGlobalData)
#include "tst_globaldata.moc"
