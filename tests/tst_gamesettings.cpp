#include "GameSettings.h"
#include "Services.h"
#include "TestEnv.h"

#include <QSignalSpy>

class TestGameSettings : public QObject
{
    Q_OBJECT
private slots:
    // From a first start (nothing stored): the resolution's size is stored at once, and the first write of
    // a default value is stored and announced (the comparison is with the unset -1).
    void resolutions_data()
    {
        Columns<int, int, int>({"index", "width", "height"});
        Row("1080p", 0, 1920, 1080);
        Row("720p", 1, 1280, 720);
        Row("out of range", 5, 1920, 1080);
    }
    void resolutions()
    {
        auto [index, width, height] = Fetch<int, int, int>({"index", "width", "height"});
        TestEnv::ForgetStoredKeys();
        Services services;
        auto settings = services.Make<GameSettings>();
        settings->Init();
        QCOMPARE(services.db.GetInt(GAME_RESOLUTION_WIDTH), 1920);
        QCOMPARE(services.db.GetInt(GAME_RESOLUTION_HEIGHT), 1080);
        QSignalSpy changed(settings.get(), &GameSettings::resolutionChanged);
        settings->setResolution(index);
        settings->setResolution(index);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(settings->resolution(), index);
        QCOMPARE(services.db.GetInt(GAME_RESOLUTION_WIDTH), width);
        QCOMPARE(services.db.GetInt(GAME_RESOLUTION_HEIGHT), height);
        // A size stored apart from its choice is computed again at the next start.
        services.db.SetInt(GAME_RESOLUTION_WIDTH, 1);
        settings->Init();
        QCOMPARE(services.db.GetInt(GAME_RESOLUTION_WIDTH), width);
    }
};

AVIRO_TEST_MAIN(TestGameSettings)
#include "tst_gamesettings.moc"
