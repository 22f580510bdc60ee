#include "RamDB.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSignalSpy>

#include <memory>
#include <sys/stat.h>

class TestRamDB : public QObject
{
    Q_OBJECT
private:
    // The permission bits of a file, or -1 when there is none.
    static int Mode(const QString& path)
    {
        struct stat st
        {
        };
        return stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    }

private slots:
    void init() { QFile::remove(TestEnv::SettingsFile()); }

    void persistedKeysSurviveRestart()
    {
        auto db = std::make_unique<RamDB>();
        db->SetBool(IS_AUTO_LOGIN, true);
        db->SetString(USER_TOKEN, "tok en/é");
        db->SetInt(MULTI_LANG, 1);
        db->SetString(NEWEST_VERSION, "1.2.3.4");
        db.reset();
        db = std::make_unique<RamDB>();
        QCOMPARE(db->GetBool(IS_AUTO_LOGIN, false), true);
        QCOMPARE(db->GetString(USER_TOKEN), QString("tok en/é"));
        QCOMPARE(db->GetInt(MULTI_LANG, 0), 1);
        QCOMPARE(db->GetString(NEWEST_VERSION, "none"), QString("none"));
    }

    // Read while the store lives: a persisted value is on disk as soon as it is written, so that a kill
    // at any later moment keeps it.
    void fileIsUsersOwnUnderGeneralAndWrittenAtOnce()
    {
        RamDB db;
        db.SetString(GAME_LOCATION, "/games");
        const QString path = TestEnv::Home() + "/config/VOMO/Vomo Skyworks.ini";
        QFile file(path);
        QCOMPARE(Mode(path), 0600);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(text.contains("[General]\nGAME_LOCATION=/games"), qPrintable(text));
    }

    // A link where the settings file belongs is neither read nor written through: what it leads to stays as
    // it was, and the store keeps its values in a file of its own, the user's alone.
    void linkInPlaceOfTheFileIsNotFollowed_data()
    {
        Columns<bool>({"targetExists"});
        Row("link to a file", true);
        Row("link to nothing yet", false);
    }
    void linkInPlaceOfTheFileIsNotFollowed()
    {
        auto [targetExists] = Fetch<bool>({"targetExists"});
        const QString target = TestEnv::Home() + "/elsewhere.ini";
        QFile::remove(target);
        const QByteArray text = "[General]\nUSER_TOKEN=theirs\n";
        if (targetExists) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
            file.close();
            QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                        QFile::ReadOther));
        }
        QVERIFY(QDir().mkpath(QFileInfo(TestEnv::SettingsFile()).path()));
        QVERIFY(QFile::link(target, TestEnv::SettingsFile()));
        {
            RamDB db;
            QCOMPARE(db.GetString(USER_TOKEN, "none"), QString("none"));
            db.SetString(USER_TOKEN, "mine");
        }
        QVERIFY(!QFileInfo(TestEnv::SettingsFile()).isSymLink());
        QCOMPARE(Mode(TestEnv::SettingsFile()), 0600);
        QCOMPARE(RamDB().GetString(USER_TOKEN), QString("mine"));
        QCOMPARE(Mode(target), targetExists ? 0644 : -1);
        if (targetExists) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), text);
        }
    }

    void fileEntriesThatAreNotPersistedKeysAreIgnored()
    {
        {
            QSettings file(TestEnv::SettingsFile(), QSettings::IniFormat);
            file.setValue("SESSION_ID", "from-file");
            file.setValue("NOT_A_KEY", "x");
            file.setValue("IS_DOWNLOADING", "true");
            file.setValue("Servers/Store", "https://127.0.0.1:1");
        }
        {
            RamDB db;
            QCOMPARE(db.GetString(SESSION_ID, "default"), QString("default"));
            QCOMPARE(db.GetBool(IS_DOWNLOADING, false), true);
            db.SetInt(GAME_RC_MODE, 2);
        }
        QSettings file(TestEnv::SettingsFile(), QSettings::IniFormat);
        QCOMPARE(file.value("NOT_A_KEY").toString(), QString("x"));
        QCOMPARE(file.value("Servers/Store").toString(), QString("https://127.0.0.1:1"));
        QCOMPARE(file.value("GAME_RC_MODE").toInt(), 2);
    }

    // A new product starts its downloads and installations afresh; a code that could leave its folder is
    // refused and changes nothing.
    void productChange_data()
    {
        Columns<QString, QString, bool, bool>({"previous", "code", "accepted", "cleared"});
        Row("first code", "", "P1", true, false);
        Row("same code", "P1", "P1", true, false);
        Row("other code", "P1", "P2", true, true);
        for (const char* code : {"", ".", "..", "a/b", "a\\b", "C:", "x/../.."}) {
            Row(qPrintable(QString("refused '%1'").arg(code)), QString("P1"), QString(code), false, false);
        }
    }
    void productChange()
    {
        auto [previous, code, accepted, cleared] =
            Fetch<QString, QString, bool, bool>({"previous", "code", "accepted", "cleared"});
        RamDB db;
        if (!previous.isEmpty()) {
            db.SetString(PRODUCT_CODE, previous);
        }
        db.SetBool(IS_DOWNLOADING, true);
        db.SetBool(IS_INSTALLING, true);
        db.SetString(DOWNLOAD_VERSION, "1.0.0.1");
        db.SetString(INSTALL_VERSION, "1.0.0.1");
        db.SetString(CURRENT_VERSION, "1.0.0.0");
        QCOMPARE(SetProductCode(&db, code), accepted);
        QCOMPARE(db.GetString(PRODUCT_CODE), accepted ? code : previous);
        QCOMPARE(db.GetBool(IS_DOWNLOADING), !cleared);
        QCOMPARE(db.GetBool(IS_INSTALLING), !cleared);
        QCOMPARE(db.GetString(DOWNLOAD_VERSION).isEmpty(), cleared);
        QCOMPARE(db.GetString(INSTALL_VERSION).isEmpty(), cleared);
        QCOMPARE(db.GetString(CURRENT_VERSION).isEmpty(), cleared);
    }
};

AVIRO_TEST_MAIN(TestRamDB)
#include "tst_ramdb.moc"
