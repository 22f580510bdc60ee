#include "GameSettings.h"
#include "ObjectRegistry.h"
#include "RamDB.h"
#include "TestEnv.h"

#include <QSignalSpy>

class TestGameSettings : public QObject
{
    Q_OBJECT
private:
    ObjectRegistry registry;
    RamDB* db = nullptr;
    GameSettings* settings = nullptr;

private slots:
    void initTestCase()
    {
        db = new RamDB(this);
        registry.RegisterObject("RamDB", db);
        settings = new GameSettings(this);
        settings->registry = &registry;
    }

    void firstStartDefaults()
    {
        settings->Init();
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
        QSignalSpy changed(settings, &GameSettings::rcModeChanged);
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
        QTest::newRow("negative") << -1 << 1920 << 1080;
        QTest::newRow("1080p") << 0 << 1920 << 1080;
    }
    void resolutions()
    {
        QFETCH(int, index);
        QFETCH(int, width);
        QFETCH(int, height);
        QSignalSpy changed(settings, &GameSettings::resolutionChanged);
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
