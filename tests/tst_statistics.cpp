#include "CrmService.h"
#include "MsgPackEncoder.h"
#include "Outcome.h"
#include "Sandbox.h"
#include "Services.h"
#include "StatisticReportMng.h"

#include <QJsonDocument>
#include <QTemporaryDir>

// Report encoding, signing and delivery to the sandbox statistics server, and the CRM event shapes.
class TestStatistics : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir files;
    std::unique_ptr<Services> services;
    RamDB* db = nullptr;

    static QByteArray Hex(const QString& json)
    {
        return StatisticReportMng::PackEvents(QJsonDocument::fromJson(json.toUtf8()).array()).toHex();
    }

    static Outcome Report(const QJsonArray& events)
    {
        StatisticReportMng statistics;
        return AwaitCallback([&](const auto& done) { statistics.report(events, done); });
    }

    // The first report the server recorded, once there is one.
    QJsonObject FirstReport()
    {
        QJsonArray reports;
        TestEnv::WaitFor([&] { return !(reports = sandbox.Reports()).isEmpty(); });
        return reports.at(0).toObject();
    }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), files.path()));
    }

    // A store of its own for every case, with no key set yet.
    void init()
    {
        TestEnv::ForgetStoredKeys();
        services = std::make_unique<Services>();
        db = &services->db;
        sandbox.ClearFaults();
        sandbox.ClearReports();
    }

    void messagePackVectors_data()
    {
        Columns<QString, QByteArray>({"json", "hex"});
        Row("reference",
            R"([{"type":"KPX_UserOnline","eventValue":{"onlineState":true},"appCode":"P1","n":3}])",
            QByteArray("9184a7617070436f6465a25031aa6576656e7456616c756581ab6f6e6c696e655374617465"
                       "c3a16ecb4008000000000000a474797065ae4b50585f557365724f6e6c696e65"));
        Row("empty", "[]", QByteArray("90"));
        Row("nested and null", R"([{"a":{"b":[true,false,null]}}])", QByteArray("9181a16181a16293c3c2c0"));
        Row("non-ASCII key", R"([{"é":1}])", QByteArray("9181a2c3a9cb3ff0000000000000"));
        Row("negative fraction", "[-1.5]", QByteArray("91cbbff8000000000000"));
        Row("zero", "[0]", QByteArray("91cb0000000000000000"));
        Row("length counts UTF-8 bytes", QString("[\"%1\"]").arg(QString(16, QChar(0xe9))),
            QByteArray("91d920") + QByteArray("c3a9").repeated(16));
    }
    void messagePackVectors()
    {
        auto [json, hex] = Fetch<QString, QByteArray>({"json", "hex"});
        QCOMPARE(Hex(json), hex);
    }

    // Each size class of strings, maps and arrays: the head, and the length of what follows it.
    void messagePackHeads_data()
    {
        Columns<QString, int, QByteArray>({"kind", "size", "head"});
        Row("string 31", "string", 31, QByteArray("bf"));
        Row("string 32", "string", 32, QByteArray("d920"));
        Row("string 255", "string", 255, QByteArray("d9ff"));
        Row("string 256", "string", 256, QByteArray("da0100"));
        Row("string 65535", "string", 65535, QByteArray("daffff"));
        Row("string 65536", "string", 65536, QByteArray("db00010000"));
        Row("map 15", "map", 15, QByteArray("8f"));
        Row("map 16", "map", 16, QByteArray("de0010"));
        Row("map 65536", "map", 65536, QByteArray("df00010000"));
        Row("array 15", "array", 15, QByteArray("9f"));
        Row("array 16", "array", 16, QByteArray("dc0010"));
        Row("array 65536", "array", 65536, QByteArray("dd00010000"));
    }
    void messagePackHeads()
    {
        auto [kind, size, head] = Fetch<QString, int, QByteArray>({"kind", "size", "head"});
        QVariantMap map;
        QVariantList list;
        for (int i = 0; kind != "string" && i < size; ++i) {
            // Keys of six bytes packed with their one-byte head, and a one-byte value.
            map.insert(QString("k%1").arg(i, 5, 10, QChar('0')), true);
            list.append(false);
        }
        const QByteArray packed = MsgPackEncoder::Pack(kind == "string" ? QVariant(QString(size, 'x'))
                                                       : kind == "map"  ? QVariant(map)
                                                                        : QVariant(list));
        QCOMPARE(packed.left(head.size() / 2).toHex(), head);
        QCOMPARE(packed.size(), head.size() / 2 + size * (kind == "map" ? 8 : 1));
    }

    // The body goes as MessagePack, signed; an empty batch is posted all the same.
    void reportArrivesSigned_data()
    {
        Columns<QJsonArray, QString>({"events", "sign"});
        Row("events", QJsonArray{QJsonObject{{"type", "T"}, {"n", 7}, {"nested", QJsonObject{{"ok", true}}}}},
            "");
        Row("empty batch", QJsonArray(), "03e4edd672cbf84bc3e95be26c5e2456");
    }
    void reportArrivesSigned()
    {
        auto [events, sign] = Fetch<QJsonArray, QString>({"events", "sign"});
        QCOMPARE(Report(events), Outcome(std::make_pair(true, QString("Success"))));
        const QJsonObject report = FirstReport();
        QCOMPARE(sandbox.Reports().size(), 1);
        QCOMPARE(report.value("appid").toString(), QString("413572"));
        QVERIFY(report.value("signValid").toBool());
        QCOMPARE(report.value("events").toArray(), events);
        QCOMPARE(report.value("body").toString().toLatin1(), StatisticReportMng::PackEvents(events).toHex());
        if (!sign.isEmpty()) {
            QCOMPARE(report.value("sign").toString(), sign);
        }
        const QJsonObject request = sandbox.Requests("statistics").last().toObject();
        QCOMPARE(request.value("headers").toObject().value("Content-Type").toString(),
                 QString("application/octet-stream"));
    }

    // The stamp says "Unkown" only for a key that was never set; a key stored as empty text goes as it is.
    void onlineEvents_data()
    {
        Columns<bool, QStringList, QStringList, QString>({"online", "stored", "stamp", "reportId"});
        Row("nothing known", true, QStringList(), QStringList{"Unkown App", "Unkown Ver", "Unkown User"},
            "7a4df655b2fc34d60a894f56ecf5333a");
        Row("stored empty", true, QStringList{"", "", ""}, QStringList{"", "", ""},
            "7a4df655b2fc34d60a894f56ecf5333a");
        Row("signed in, offline", false, QStringList{"SkyTrainer", "1.2.0.0", "pilot@example.com"},
            QStringList{"SkyTrainer", "1.2.0.0", "pilot@example.com"}, "53a218610319f8032dd505940e510648");
    }
    void onlineEvents()
    {
        auto [online, stored, stamp, reportId] =
            Fetch<bool, QStringList, QStringList, QString>({"online", "stored", "stamp", "reportId"});
        if (!stored.isEmpty()) {
            db->SetString(PRODUCT_CODE, stored.at(0));
            db->SetString(NEWEST_VERSION, stored.at(1));
            db->SetString(USER_ACCOUNT, stored.at(2));
        }
        db->SetString(CURRENT_VERSION, "1.1.0.0");
        CrmService crm;
        crm.registry = &services->registry;
        crm.reportUserOnline(online);
        const QJsonArray events = FirstReport().value("events").toArray();
        QCOMPARE(events.size(), 2);
        const QJsonObject common{
            {"appCode", stamp.at(0)}, {"appVer", stamp.at(1)}, {"userAccount", stamp.at(2)}};
        QJsonObject login = common;
        login.insert("type", "KPX_UserLogin");
        login.insert("eventValue", QJsonObject{{"loginEvent", online ? "login" : "logout"}});
        QCOMPARE(events.at(0).toObject(), login);
        QJsonObject state = common;
        state.insert("type", "KPX_UserOnline");
        state.insert("eventValue", QJsonObject{{"onlineState", online}});
        state.insert("reportid", reportId);
        QCOMPARE(events.at(1).toObject(), state);
    }

    void customEventsAreStampedInOrder()
    {
        db->SetString(USER_ACCOUNT, "pilot@example.com");
        db->SetString(NEWEST_VERSION, "1.2.0.0");
        CrmService crm;
        crm.registry = &services->registry;
        crm.reportCustom(QJsonArray{QJsonObject{{"type", "A"}, {"appVer", "game's own"}, {"score", 10}},
                                    QJsonValue("not an object"),
                                    QJsonObject{{"type", "C"}, {"reportid", "kept"}}});
        const QJsonArray events = FirstReport().value("events").toArray();
        QCOMPARE(events.size(), 3);
        QCOMPARE(events.at(0).toObject().value("type").toString(), QString("A"));
        QCOMPARE(events.at(0).toObject().value("appVer").toString(), QString("1.2.0.0"));
        QCOMPARE(events.at(0).toObject().value("score").toDouble(), 10.0);
        QCOMPARE(events.at(1).toObject().keys(), (QStringList{"appCode", "appVer", "userAccount"}));
        QCOMPARE(events.at(2).toObject().value("reportid").toString(), QString("kept"));
    }
};

AVIRO_TEST_MAIN(TestStatistics)
#include "tst_statistics.moc"
