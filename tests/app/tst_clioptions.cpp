#include "app/CliOptions.h"
#include "common/Settings.h"
#include "common/Version.h"

#include <QTest>

// The crawler's command line: the result format, the results file, robots.txt
// and the version.
class tst_CliOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsTheOptions_data();
    void readsTheOptions();
    void refusesBadValues_data();
    void refusesBadValues();
    void checksTheLinkRulesOfTheRun_data();
    void checksTheLinkRulesOfTheRun();
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
    QTest::addColumn<bool>("jsonLines");
    QTest::addColumn<QString>("outputFile");
    QTest::addColumn<bool>("honourRobots");

    QTest::newRow("defaults") << QStringList{QStringLiteral("http://h/")} << false << QString() << false;
    QTest::newRow("text") << QStringList{QStringLiteral("--format"), QStringLiteral("text"), QStringLiteral("http://h/")}
                          << false << QString() << false;
    QTest::newRow("jsonl") << QStringList{QStringLiteral("--format=jsonl"), QStringLiteral("http://h/")}
                           << true << QString() << false;
    QTest::newRow("output") << QStringList{QStringLiteral("--output"), QStringLiteral("out.txt"), QStringLiteral("http://h/")}
                            << false << QStringLiteral("out.txt") << false;
    QTest::newRow("robots") << QStringList{QStringLiteral("--robots"), QStringLiteral("http://h/")}
                            << false << QString() << true;
    QTest::newRow("links as JSON to a file")
        << QStringList{QStringLiteral("--links"), QStringLiteral("--format"), QStringLiteral("jsonl"),
                       QStringLiteral("--output"), QStringLiteral("-"), QStringLiteral("http://h/"), QStringLiteral("page.htm")}
        << true << QStringLiteral("-") << false;
}

void tst_CliOptions::readsTheOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, jsonLines);
    QFETCH(QString, outputFile);
    QFETCH(bool, honourRobots);

    const CliParseResult parsed = parseCliArguments(commandLine(arguments));
    QVERIFY2(parsed.options, qPrintable(parsed.message));
    QCOMPARE(parsed.options->format == CliOptions::Format::JsonLines, jsonLines);
    QCOMPARE(parsed.options->outputFile, outputFile);
    QCOMPARE(parsed.options->honourRobots, honourRobots);
}

void tst_CliOptions::refusesBadValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("problem");
    QTest::newRow("unknown format") << QStringList{QStringLiteral("--format"), QStringLiteral("json"), QStringLiteral("http://h/")}
                                    << QStringLiteral("--format takes text or jsonl.");
    QTest::newRow("format in capitals") << QStringList{QStringLiteral("--format"), QStringLiteral("JSONL"), QStringLiteral("http://h/")}
                                        << QStringLiteral("--format takes text or jsonl.");
    QTest::newRow("format without a value") << QStringList{QStringLiteral("http://h/"), QStringLiteral("--format")}
                                            << QStringLiteral("Missing value after '--format'.");
    QTest::newRow("empty output name") << QStringList{QStringLiteral("--output="), QStringLiteral("http://h/")}
                                       << QStringLiteral("--output takes a file name.");
    QTest::newRow("unknown rules") << QStringList{QStringLiteral("--rules=modern"), QStringLiteral("http://h/")}
                                   << QStringLiteral("--rules takes classic or standard.");
    QTest::newRow("unknown scope") << QStringList{QStringLiteral("--scope=site"), QStringLiteral("http://h/")}
                                   << QStringLiteral("--scope takes any, host or below.");
}

void tst_CliOptions::refusesBadValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, problem);

    const CliParseResult parsed = parseCliArguments(commandLine(arguments));
    QVERIFY(!parsed.options);
    QCOMPARE(parsed.exitCode, 2);
    QCOMPARE(parsed.message, QStringLiteral("trovewick-cli: ") + problem
                                 + QStringLiteral("\nTry 'trovewick-cli --help' for more information.\n"));
}

void tst_CliOptions::checksTheLinkRulesOfTheRun_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<LinkRules>("stored");
    QTest::addColumn<QString>("problem"); // empty: the run goes ahead
    const QString https = QStringLiteral("Classic link rules cannot read an https root; add --rules standard.");
    QTest::newRow("https root, stored classic") << QStringList{QStringLiteral("https://h/")} << LinkRules::Classic << https;
    QTest::newRow("https root, classic asked for")
        << QStringList{QStringLiteral("--rules=Classic"), QStringLiteral("HTTPS://h/")} << LinkRules::Standard << https;
    QTest::newRow("https root, standard asked for")
        << QStringList{QStringLiteral("--rules=standard"), QStringLiteral("https://h/")} << LinkRules::Classic << QString();
    QTest::newRow("scope under classic rules") << QStringList{QStringLiteral("--scope=below"), QStringLiteral("http://h/")}
        << LinkRules::Classic << QStringLiteral("--scope applies to standard link rules only; add --rules standard.");
}

void tst_CliOptions::checksTheLinkRulesOfTheRun()
{
    QFETCH(QStringList, arguments);
    QFETCH(LinkRules, stored);
    QFETCH(QString, problem);
    const CliParseResult parsed = parseCliArguments(commandLine(arguments));
    Settings settings;
    settings.Rules = stored;
    parsed.options->applyTo(settings);
    const auto refused = checkAgainstSettings(*parsed.options, settings);
    QCOMPARE(refused ? refused->message.section(u'\n', 0, 0) : QString(),
             problem.isEmpty() ? QString() : QStringLiteral("trovewick-cli: ") + problem);
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
