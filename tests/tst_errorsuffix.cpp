#include "ErrorSuffix.h"
#include "TestEnv.h"

class TestErrorSuffix : public QObject
{
    Q_OBJECT
private slots:
    void format_data()
    {
        QTest::addColumn<int>("module");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("detail");
        QTest::addColumn<int>("location");
        QTest::addColumn<QString>("expected");
        QTest::newRow("padded") << 3 << 4 << 5 << 109 << "\nError: 003_004 {005/0109}";
        QTest::newRow("channel") << 10 << 0 << 0 << 130 << "\nError: 010_000 {000/0130}";
        QTest::newRow("wide detail kept whole") << 8 << 0 << 1234 << 66 << "\nError: 008_000 {1234/0066}";
        QTest::newRow("wide location kept whole") << 1 << 1 << 0 << 12345 << "\nError: 001_001 {000/12345}";
    }
    void format()
    {
        QFETCH(int, module);
        QFETCH(int, error);
        QFETCH(int, detail);
        QFETCH(int, location);
        QFETCH(QString, expected);
        QCOMPARE(ErrorSuffix(module, error, detail, location), expected);
    }
};

AVIRO_TEST_MAIN(TestErrorSuffix)
#include "tst_errorsuffix.moc"
