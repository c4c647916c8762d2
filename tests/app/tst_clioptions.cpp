#include "app/CliOptions.h"
#include "common/Version.h"

#include <QTest>

// The crawler's command line: robots.txt and the version.
class tst_CliOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTheOptions_data();
    void readsTheOptions();
    void answersTheVersion_data();
    void answersTheVersion();
};

static QStringList commandLine(const QStringList &arguments)
{
    return QStringList{QStringLiteral("trovewick-cli")} + arguments;
}

void tst_CliOptions::readsTheOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("honourRobots");

    QTest::newRow("defaults") << QStringList{QStringLiteral("http://h/")} << false;
    QTest::newRow("robots") << QStringList{QStringLiteral("--robots"), QStringLiteral("http://h/")} << true;
}

void tst_CliOptions::readsTheOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, honourRobots);

    const CliParseResult parsed = parseCliArguments(commandLine(arguments));
    QVERIFY2(parsed.options, qPrintable(parsed.message));
    QCOMPARE(parsed.options->honourRobots, honourRobots);
}

void tst_CliOptions::answersTheVersion_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("alone") << QStringList{QStringLiteral("--version")};
    QTest::newRow("with a root") << QStringList{QStringLiteral("--version"), QStringLiteral("http://h/")};
    QTest::newRow("with other options") << QStringList{QStringLiteral("--robots"), QStringLiteral("--version")};
}

void tst_CliOptions::answersTheVersion()
{
    QFETCH(QStringList, arguments);
    const CliParseResult parsed = parseCliArguments(commandLine(arguments));
    QVERIFY(!parsed.options);
    QCOMPARE(parsed.exitCode, 0);
    QCOMPARE(parsed.message, QStringLiteral("trovewick-cli ") + QLatin1StringView(TrovewickVersion) + u'\n');
}

QTEST_APPLESS_MAIN(tst_CliOptions)
#include "tst_clioptions.moc"
