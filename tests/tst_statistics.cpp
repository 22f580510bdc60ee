#include "CrmService.h"
#include "MsgPackEncoder.h"
#include "ObjectRegistry.h"
#include "RamDB.h"
#include "Sandbox.h"
#include "StatisticReportMng.h"
#include "TestEnv.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <memory>
#include <optional>

// Report encoding, signing and delivery to the sandbox statistics server, and the CRM event shapes.
class TestStatistics : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir files;
    std::unique_ptr<ObjectRegistry> registry;
    std::unique_ptr<RamDB> db;

    static QByteArray Hex(const QString& json)
    {
        return StatisticReportMng::PackEvents(QJsonDocument::fromJson(json.toUtf8()).array()).toHex();
    }

    std::pair<bool, QString> Report(const QJsonArray& events)
    {
        StatisticReportMng statistics;
        std::optional<std::pair<bool, QString>> result;
        statistics.report(events,
                          [&](bool ok, const QString& message) { result = std::make_pair(ok, message); });
        if (!TestEnv::WaitFor([&] { return result.has_value(); })) {
            return {false, "no answer"};
        }
        return *result;
    }

    // The reports the server has recorded, once there are `count` of them.
    QJsonArray WaitForReports(int count)
    {
        QJsonArray reports;
        TestEnv::WaitFor([&] {
            reports = sandbox.Reports();
            return reports.size() >= count;
        });
        return reports;
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
        registry = std::make_unique<ObjectRegistry>();
        db = std::make_unique<RamDB>();
        registry->RegisterObject("RamDB", db.get());
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

    void messagePackLengths_data()
    {
        Columns<int, QByteArray>({"size", "stringHead"});
        Row("31", 31, QByteArray("bf"));
        Row("32", 32, QByteArray("d920"));
        Row("255", 255, QByteArray("d9ff"));
        Row("256", 256, QByteArray("da0100"));
        Row("65535", 65535, QByteArray("daffff"));
        Row("65536", 65536, QByteArray("db00010000"));
    }
    void messagePackLengths()
    {
        auto [size, stringHead] = Fetch<int, QByteArray>({"size", "stringHead"});
        const QByteArray packed = MsgPackEncoder::Pack(QString(size, 'x'));
        QCOMPARE(packed.left(stringHead.size() / 2).toHex(), stringHead);
        QCOMPARE(packed.size(), stringHead.size() / 2 + size);
    }

    void messagePackContainers_data()
    {
        Columns<int, QByteArray, QByteArray>({"entries", "mapHead", "arrayHead"});
        Row("15", 15, QByteArray("8f"), QByteArray("9f"));
        Row("16", 16, QByteArray("de0010"), QByteArray("dc0010"));
        Row("65536", 65536, QByteArray("df00010000"), QByteArray("dd00010000"));
    }
    void messagePackContainers()
    {
        auto [entries, mapHead, arrayHead] =
            Fetch<int, QByteArray, QByteArray>({"entries", "mapHead", "arrayHead"});
        QVariantMap map;
        QVariantList list;
        for (int i = 0; i < entries; ++i) {
            map.insert(QString("k%1").arg(i, 5, 10, QChar('0')), true);
            list.append(false);
        }
        const QByteArray packedMap = MsgPackEncoder::Pack(map);
        QCOMPARE(packedMap.left(mapHead.size() / 2).toHex(), mapHead);
        QCOMPARE(packedMap.mid(mapHead.size() / 2, 7).toHex(), QByteArray("a66b3030303030"));
        QCOMPARE(packedMap.size(), mapHead.size() / 2 + entries * 8);
        const QByteArray packedList = MsgPackEncoder::Pack(list);
        QCOMPARE(packedList.left(arrayHead.size() / 2).toHex(), arrayHead);
        QCOMPARE(packedList.size(), arrayHead.size() / 2 + entries);
    }

    void reportArrivesDecodedAndSigned()
    {
        const QJsonArray events{QJsonObject{{"type", "T"}, {"n", 7}, {"nested", QJsonObject{{"ok", true}}}}};
        QCOMPARE(Report(events), std::make_pair(true, QString("Success")));
        const QJsonArray reports = WaitForReports(1);
        QCOMPARE(reports.size(), 1);
        const QJsonObject report = reports.at(0).toObject();
        QCOMPARE(report.value("appid").toString(), QString("413572"));
        QVERIFY(report.value("signValid").toBool());
        QCOMPARE(report.value("events").toArray(), events);
        const QJsonObject request = sandbox.Requests("statistics").last().toObject();
        QCOMPARE(request.value("headers").toObject().value("Content-Type").toString(),
                 QString("application/octet-stream"));
    }

    void emptyBatchIsStillPosted()
    {
        QCOMPARE(Report(QJsonArray()).first, true);
        const QJsonObject report = WaitForReports(1).at(0).toObject();
        QCOMPARE(report.value("body").toString(), QString("90"));
        QCOMPARE(report.value("sign").toString(), QString("03e4edd672cbf84bc3e95be26c5e2456"));
    }

    void answers_data()
    {
        Columns<QJsonObject, bool, QString>({"fault", "ok", "message"});
        Row("refused without message", QJsonObject{{"body", "{\"success\":false}"}}, false,
            "{\n}\n\nError: 009_002 {000/0066}");
        Row("refused with message", QJsonObject{{"body", "{\"success\":false,\"message\":{\"why\":\"x\"}}"}},
            false, "{\n    \"why\": \"x\"\n}\n\nError: 009_002 {000/0066}");
        Row("array answer", QJsonObject{{"body", "[true]"}}, false, "{\n}\n\nError: 009_002 {000/0066}");
        Row("success not boolean", QJsonObject{{"body", "{\"success\":\"yes\"}"}}, false,
            "{\n}\n\nError: 009_002 {000/0066}");
        Row("not JSON", QJsonObject{{"body", "oops"}}, false,
            "Failed to analyze the son reply in Report.\nError: 009_001 {000/0061}");
    }
    void answers()
    {
        auto [fault, ok, message] = Fetch<QJsonObject, bool, QString>({"fault", "ok", "message"});
        sandbox.AddFault("statistics", "/api/report/client", fault);
        QCOMPARE(Report(QJsonArray{QJsonObject{{"type", "x"}}}), std::make_pair(ok, message));
    }

    void transferFailure()
    {
        sandbox.AddFault("statistics", "/api/report/client", {{"status", 500}});
        const auto result = Report(QJsonArray());
        QVERIFY(!result.first);
        QVERIFY2(result.second.endsWith("\nError: 009_000 {401/0055}"), qPrintable(result.second));
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
        crm.registry = registry.get();
        crm.reportUserOnline(online);
        const QJsonArray events = WaitForReports(1).at(0).toObject().value("events").toArray();
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
        crm.registry = registry.get();
        crm.reportCustom(QJsonArray{QJsonObject{{"type", "A"}, {"appVer", "game's own"}, {"score", 10}},
                                    QJsonValue("not an object"),
                                    QJsonObject{{"type", "C"}, {"reportid", "kept"}}});
        const QJsonArray events = WaitForReports(1).at(0).toObject().value("events").toArray();
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
