#include "GlobalData.h"
#include "MultiLang.h"
#include "Services.h"
#include "ShownText.h"
#include "TestEnv.h"

#include <QSignalSpy>

class TestGlobalData : public QObject
{
    Q_OBJECT
private:
    Services services;
    RamDB* db = &services.db;

    static QString FailedToStart() { return QCoreApplication::translate("QObject", "无法启动"); }

private slots:
    // What a server sends is shown without what would move or reorder it, and within its place.
    void outsideTextFitsItsPlace_data()
    {
        Columns<QString, int, QString, QString>({"text", "maxChars", "line", "block"});
        Row("plain", "1.0.2.0", 100, "1.0.2.0", "1.0.2.0");
        Row("bidirectional override", "BG 10.0\u202E", 100, "BG 10.0", "BG 10.0");
        Row("isolates and marks", "\u2066a\u2069\u200Fb\u061C", 100, "ab", "ab");
        Row("line breaks", "1.0\n2.0\r\u2029x", 100, "1.0 2.0 x", "1.0\n2.0\nx");
        Row("controls", "a\u0007\u0001\u001b\u0085b", 100, "ab", "ab");
        Row("too long", QString(30, 'x'), 10, QString(9, 'x') + "\u2026", QString(9, 'x') + "\u2026");
        Row("cut between a pair", "abcdefgh\U0001F600x", 10, "abcdefgh\u2026", "abcdefgh\u2026");
        Row("last line too long to keep", "\n" + QString(12, 'x'), 10, QString(9, 'x') + "\u2026",
            "\n" + QString(8, 'x') + "\u2026");
        Row("code kept", QString(50, 'x') + "\nError: 008_013 {000/0307}", 60,
            QString(50, 'x') + " Error: 0\u2026", QString(33, 'x') + "\u2026\nError: 008_013 {000/0307}");
    }
    void outsideTextFitsItsPlace()
    {
        auto [text, maxChars, line, block] =
            Fetch<QString, int, QString, QString>({"text", "maxChars", "line", "block"});
        QCOMPARE(ShownText::Line(text, maxChars), line);
        QCOMPARE(ShownText::Block(text, maxChars), block);
        db->SetString(NEWEST_VERSION, text);
        GlobalData gd;
        gd.registry = &services.registry;
        QCOMPARE(gd.newVersion(), ShownText::Line(text));
    }

    // The product's picture is shown only from a web server; any other address leaves the window's own.
    void productPictureFromTheWebOnly_data()
    {
        Columns<QString, bool>({"address", "shown"});
        Row("https", "https://docs.example.com/images/SkyTrainer.png", true);
        Row("http", "http://127.0.0.1:3447/images/SkyTrainer.png", true);
        Row("a pipe", "file:///tmp/picture.fifo", false);
        Row("a bare path", "/tmp/picture.png", false);
        Row("the program's resources", "qrc:/Resources/aviro.png", false);
        Row("ftp", "ftp://127.0.0.1/picture.png", false);
        Row("no host", "https:///picture.png", false);
    }
    void productPictureFromTheWebOnly()
    {
        auto [address, shown] = Fetch<QString, bool>({"address", "shown"});
        db->SetString(PRODUCT_IMAGE_URL, address);
        GlobalData gd;
        gd.registry = &services.registry;
        QCOMPARE(gd.productBgImage(), shown ? address : QString());
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
