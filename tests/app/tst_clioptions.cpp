#include "app/CliOptions.h"

#include <QTest>

// The crawler's command line.
class tst_CliOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTheOptions_data();
    void readsTheOptions();
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

QTEST_APPLESS_MAIN(tst_CliOptions)
#include "tst_clioptions.moc"
