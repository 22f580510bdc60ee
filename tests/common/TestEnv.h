#pragma once

// Every suite includes this header, and with it the whole of QtCore and QtTest.
#include <QtTest>

#include <array>
#include <functional>
#include <tuple>
#include <utility>

// Gives each test process a home and profile folders of its own, so that settings, caches and downloads
// of one test never meet another's (tests run in parallel).
class TestEnv
{
public:
    static void Isolate();
    static QString Home();
    static QString SettingsFile();
    // Folder of the built programs (the launcher, the sandbox, helper tools).
    static QString BinDir();
    // The catalogue the package step built from the sandbox game, and the checked-in test data.
    static QString CatalogueDir() { return QStringLiteral(AVIRO_CATALOGUE_DIR); }
    static QString DataDir() { return QStringLiteral(AVIRO_TEST_DATA_DIR); }
    // The sandbox game's package of a version ("1.1.0.0"), and its contents unpacked into a location.
    static QString Package(const QString& version);
    static bool Unpack(const QString& location, const QStringList& versions);
    // Points every server of the test profile at a closed local port, so that a launcher started by a test
    // never reaches out of the machine.
    static void UseNoServers();
    // Removes the store's keys from the settings file (the server addresses stay), so that a store built
    // afterwards starts with no key set.
    static void ForgetStoredKeys();
    // Installs the English catalogue, so that user texts can be compared with their English wording.
    static void InstallEnglish();
    // Runs the event loop until the condition holds or the time is up.
    static bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000);
};

// Data tables on one line each: Columns<int, QString>({"count", "text"}); Row("name", 3, "three");
template <typename... T, std::size_t... I>
void ColumnsOf(const std::array<const char*, sizeof...(T)>& names, std::index_sequence<I...>)
{
    (QTest::addColumn<T>(names[I]), ...);
}

template <typename... T>
void Columns(const std::array<const char*, sizeof...(T)>& names)
{
    ColumnsOf<T...>(names, std::index_sequence_for<T...>{});
}

template <typename... T>
void Row(const char* name, T... values)
{
    (QTest::newRow(name) << ... << values);
}

// The current row's values of these columns: auto [count, text] = Fetch<int, QString>({"count", "text"});
template <typename... T, std::size_t... I>
std::tuple<T...> FetchOf(const std::array<const char*, sizeof...(T)>& names, std::index_sequence<I...>)
{
    return {*static_cast<T*>(QTest::qData(names[I], qMetaTypeId<T>()))...};
}

template <typename... T>
std::tuple<T...> Fetch(const std::array<const char*, sizeof...(T)>& names)
{
    return FetchOf<T...>(names, std::index_sequence_for<T...>{});
}

#define AVIRO_TEST_MAIN(TestObject)                                                                          \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        TestEnv::Isolate();                                                                                  \
        QApplication app(argc, argv);                                                                        \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }
