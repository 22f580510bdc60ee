#include "GameSettings.h"
#include "ObjectRegistry.h"
#include "RamDB.h"
#include "TestEnv.h"

#include <QSignalSpy>

#include <memory>

class TestGameSettings : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<ObjectRegistry> registry;
    std::unique_ptr<RamDB> db;
    std::unique_ptr<GameSettings> settings;

private slots:
    // Every case starts as a first start: nothing stored yet.
    void init()
    {
        TestEnv::ForgetStoredKeys();
        registry = std::make_unique<ObjectRegistry>();
        db = std::make_unique<RamDB>();
        registry->RegisterObject("RamDB", db.get());
        settings = std::make_unique<GameSettings>();
        settings->registry = registry.get();
        settings->Init();
    }

    void firstStartDefaults()
    {
        QCOMPARE(settings->imageQuality(), 2);
        QCOMPARE(settings->resolution(), 0);
        QCOMPARE(settings->windowMode(), 0);
        QCOMPARE(settings->rcMode(), 0);
        QCOMPARE(db->GetInt(GAME_RESOLUTION_WIDTH), 1920);
        QCOMPARE(db->GetInt(GAME_RESOLUTION_HEIGHT), 1080);
        QCOMPARE(settings->resolutionList(), (QStringList{"1080p", "720p"}));
    }

    // The first write of the default value is stored and announced: the comparison is with -1.
    void firstWriteOfTheDefault()
    {
        QSignalSpy changed(settings.get(), &GameSettings::rcModeChanged);
        settings->setRcMode(0);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(db->GetValue(GAME_RC_MODE), QVariant(0));
        settings->setRcMode(0);
        QCOMPARE(changed.count(), 1);
        settings->setRcMode(2);
        QCOMPARE(changed.count(), 2);
    }

    void resolutions_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("720p") << 1 << 1280 << 720;
        QTest::newRow("out of range") << 5 << 1920 << 1080;
        QTest::newRow("1080p") << 0 << 1920 << 1080;
    }
    void resolutions()
    {
        QFETCH(int, index);
        QFETCH(int, width);
        QFETCH(int, height);
        QSignalSpy changed(settings.get(), &GameSettings::resolutionChanged);
        settings->setResolution(index);
        QCOMPARE(settings->resolution(), index);
        QCOMPARE(db->GetInt(GAME_RESOLUTION_WIDTH), width);
        QCOMPARE(db->GetInt(GAME_RESOLUTION_HEIGHT), height);
        QCOMPARE(changed.count(), 1);
    }

    void resolutionIsRecomputedAtStart()
    {
        settings->setResolution(1);
        db->SetInt(GAME_RESOLUTION_WIDTH, 1);
        settings->Init();
        QCOMPARE(db->GetInt(GAME_RESOLUTION_WIDTH), 1280);
    }
};

AVIRO_TEST_MAIN(TestGameSettings)
#include "tst_gamesettings.moc"
