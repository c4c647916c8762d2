#include "app/CliOptions.h"

#include "common/Settings.h"
#include "common/Version.h"

#include <QCommandLineParser>

namespace {

const QString Description = QStringLiteral(
    "Crawls a web site from ROOT the way the Trovewick window does, with the stored\n"
    "settings (overridden for this run only by the options below; nothing is saved).\n"
    "\n"
    "Each found file's address is printed on standard output (or to the --output\n"
    "file) as it is found, one per line, in the order of the found-file list. The\n"
    "status line goes to standard error while the crawl runs: on a terminal it is\n"
    "rewritten in place, at most ten times a second and at least once a second,\n"
    "with the seconds since the start and the pages found per second added\n"
    "('40 pages found... 3.2 s, 12.5 pages/s'); elsewhere each change is a line of\n"
    "its own. When the crawl stops (nothing left to fetch, the file limit reached,\n"
    "or Ctrl-C) the crawler waits for reads still in flight, writes a last status\n"
    "line with the final counts and why it stopped ('[crawl finished]', '[crawl\n"
    "stopped: file limit reached]' or '[crawl stopped by the user]'), then exits 0.\n"
    "A second Ctrl-C quits at once.\n"
    "\n"
    "Lines of --pages and --events: INDEX<TAB>STATE<TAB>KEY, STATE one of domain,\n"
    "queued, fetching, done, failed; --events also writes the line 'tick' for each\n"
    "scheduler tick, and a line for each page read as it is handled (done or failed).\n"
    "\n"
    "With --format jsonl the results are JSON Lines, one object a line:\n"
    "{\"type\":\"file\",\"url\":URL,\"page\":PAGE} for each found file as it is found,\n"
    "PAGE the address of the page it was found on; with --pages, after the crawl,\n"
    "{\"type\":\"page\",\"index\":N,\"state\":STATE,\"url\":URL} for each node (a host's\n"
    "URL is http://HOST/); last {\"type\":\"status\",\"text\":TEXT}, TEXT the last\n"
    "status line. Addresses are decoded as the window shows them (UTF-8 where valid,\n"
    "else Windows-1252), and control characters are written as \\u00XX escapes. The\n"
    "status line on standard error stays as it is.\n"
    "\n"
    "trovewick-cli --links PAGE_URL FILE prints how the links of a saved page are\n"
    "classified, in scan order: 'page<TAB>URL' and 'file<TAB>URL' lines (a link in\n"
    "both lists gives both), or with --format jsonl {\"type\":\"page\",\"url\":URL} and\n"
    "{\"type\":\"file\",\"url\":URL} lines. FILE is left in place. When the scan stops\n"
    "with an error it prints what was handled, the error on standard error, and\n"
    "exits 1.\n"
    "\n"
    "In text, control bytes in an address (0x00 to 0x1F and 0x7F, tab and line feed\n"
    "among them) are printed as %XX in upper-case hex, in found files and in --pages,\n"
    "--links and --events lines alike, so every address stays on its one line.\n"
    "\n"
    "Link rules (--rules, default the stored choice, classic on a first run):\n"
    "classic rules search a page's text for 'a href=', join a link that does not\n"
    "start with http:// to the page's folder and read the root over http; an https\n"
    "root is refused. Standard rules read pages with an HTML parser, find pages in\n"
    "a, area, frame and iframe links and files also in what a page embeds (images\n"
    "and srcset, video, audio, objects, the icon), resolve addresses by RFC 3986,\n"
    "follow http and https, read each page once and scan only HTML answers;\n"
    "--scope (standard rules only) reads the pages of any host, of the root's host\n"
    "(the default) or below the root's folder. For example:\n"
    "  trovewick-cli --rules classic http://host/manual/\n"
    "  trovewick-cli --rules standard --scope below --interval 0 https://host/manual/\n"
    "\n"
    "With --robots, each host's /robots.txt is read once before its first page, and\n"
    "the pages its rules refuse to Trovewick (or to every robot, '*') end failed\n"
    "without being read. A robots.txt answered with a 4xx status allows everything;\n"
    "a 5xx answer, or none, refuses everything.\n"
    "\n"
    "Exit codes: 0 when the crawl is over or the links are listed; 1 when the crawl\n"
    "cannot start (the --events or --output file cannot be written), the results\n"
    "cannot be written (standard output closed by its reader among the causes), the\n"
    "event log cannot be written, or the saved page cannot be read or scanned; 2 for\n"
    "bad arguments (an https root under classic rules among them), with the problem\n"
    "and a pointer to --help; 130 on a second Ctrl-C; 128+N when signal N ends the\n"
    "crawler at once (143 for SIGTERM, 129 for SIGHUP).");

std::optional<qint16> parseLimit(const QString &text, bool *ok)
{
    bool converted = false;
    const int value = text.toInt(&converted);
    if (!converted || value < -32768 || value > 32767) {
        *ok = false;
        return std::nullopt;
    }
    return qint16(value);
}

// The problem and where to learn more, as GNU tools put it: the whole help
// would bury the one line that says what is wrong.
CliParseResult usageError(const QString &problem)
{
    return CliParseResult{std::nullopt,
                          QStringLiteral("trovewick-cli: ") + problem
                              + QStringLiteral("\nTry 'trovewick-cli --help' for more information.\n"),
                          2};
}

} // namespace

void CliOptions::applyTo(Settings &settings) const
{
    if (maxPages)
        settings.MaxPages = *maxPages;
    if (maxFiles)
        settings.MaxFiles = *maxFiles;
    if (maxDomain)
        settings.MaxDomain = *maxDomain;
    if (follow)
        settings.Follow = *follow;
    if (search)
        settings.Search = *search;
    if (rules)
        settings.Rules = *rules;
    if (scope)
        settings.Scope = *scope;
}

std::optional<CliParseResult> checkAgainstSettings(const CliOptions &options, const Settings &settings)
{
    if (settings.Rules != LinkRules::Classic)
        return std::nullopt;
    if (options.scope)
        return usageError(QStringLiteral("--scope applies to standard link rules only; add --rules standard."));
    if (options.mode == CliOptions::Mode::Crawl && options.root.startsWith(QLatin1StringView("https:"), Qt::CaseInsensitive))
        return usageError(QStringLiteral("Classic link rules cannot read an https root; add --rules standard."));
    return std::nullopt;
}

CliParseResult parseCliArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Description);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption maxPages(QStringLiteral("max-pages"),
                                      QStringLiteral("Most nodes the page tree may hold."), QStringLiteral("N"));
    const QCommandLineOption maxFiles(QStringLiteral("max-files"),
                                      QStringLiteral("Most found files to record."), QStringLiteral("N"));
    const QCommandLineOption maxDomain(QStringLiteral("max-domain"),
                                       QStringLiteral("Most pages queued per host."), QStringLiteral("N"));
    const QCommandLineOption follow(QStringLiteral("follow"),
                                    QStringLiteral("Page extensions to follow (comma-separated)."), QStringLiteral("LIST"));
    const QCommandLineOption search(QStringLiteral("search"),
                                    QStringLiteral("File extensions to report (comma-separated)."), QStringLiteral("LIST"));
    const QCommandLineOption interval(QStringLiteral("interval"),
                                      QStringLiteral("Scheduler tick in milliseconds (default 1000); 0 ticks as soon as a read finishes."), QStringLiteral("MS"));
    const QCommandLineOption pages(QStringLiteral("pages"),
                                   QStringLiteral("After the crawl, print the page tree in index order."));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("Print no status line on standard error."));
    const QCommandLineOption events(QStringLiteral("events"),
                                    QStringLiteral("Write a log of ticks and handled page reads to FILE."), QStringLiteral("FILE"));
    const QCommandLineOption links(QStringLiteral("links"),
                                   QStringLiteral("Classify the links of a saved page: --links PAGE_URL FILE."));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("Write the results as 'text' (the default) or 'jsonl', one JSON object a line."),
                                    QStringLiteral("FORMAT"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("Write the results to FILE instead of standard output."), QStringLiteral("FILE"));
    const QCommandLineOption robots(QStringLiteral("robots"),
                                    QStringLiteral("Honour each host's robots.txt (off by default)."));
    const QCommandLineOption rules(QStringLiteral("rules"),
                                   QStringLiteral("Find and follow links by 'classic' or 'standard' rules (default: the stored setting)."),
                                   QStringLiteral("RULES"));
    const QCommandLineOption scope(QStringLiteral("scope"),
                                   QStringLiteral("Pages standard rules read: those of 'any' host, of the root's 'host', or 'below' the root's folder (default: the stored setting)."),
                                   QStringLiteral("SCOPE"));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version and exit."));
    parser.addOptions({help, version, maxPages, maxFiles, maxDomain, follow, search, interval, pages, quiet, events,
                       links, format, output, robots, rules, scope});
    parser.addPositionalArgument(QStringLiteral("ROOT"), QStringLiteral("The address to start crawling at."));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        return CliParseResult{std::nullopt, parser.helpText(), 0};
    if (parser.isSet(version))
        return CliParseResult{std::nullopt, QStringLiteral("trovewick-cli ") + QLatin1StringView(TrovewickVersion) + u'\n', 0};

    CliOptions options;
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(links)) {
        if (positional.size() != 2)
            return usageError(QStringLiteral("--links takes PAGE_URL and FILE."));
        options.mode = CliOptions::Mode::Links;
        options.pageUrl = positional.at(0);
        options.pageFile = positional.at(1);
    } else {
        if (positional.size() != 1)
            return usageError(QStringLiteral("Give exactly one ROOT address."));
        options.root = positional.first();
    }

    bool ok = true;
    if (parser.isSet(maxPages))
        options.maxPages = parseLimit(parser.value(maxPages), &ok);
    if (parser.isSet(maxFiles))
        options.maxFiles = parseLimit(parser.value(maxFiles), &ok);
    if (parser.isSet(maxDomain))
        options.maxDomain = parseLimit(parser.value(maxDomain), &ok);
    if (!ok)
        return usageError(QStringLiteral("Limits are whole numbers from -32768 to 32767."));
    if (parser.isSet(interval)) {
        options.intervalMs = parser.value(interval).toInt(&ok);
        if (!ok || options.intervalMs < 0)
            return usageError(QStringLiteral("--interval takes a number of milliseconds, 0 or more."));
    }
    if (parser.isSet(follow))
        options.follow = parser.value(follow);
    if (parser.isSet(search))
        options.search = parser.value(search);
    options.printPages = parser.isSet(pages);
    options.quiet = parser.isSet(quiet);
    options.eventsFile = parser.value(events);
    if (parser.isSet(format)) {
        const QString name = parser.value(format);
        if (name == QLatin1StringView("jsonl"))
            options.format = CliOptions::Format::JsonLines;
        else if (name != QLatin1StringView("text"))
            return usageError(QStringLiteral("--format takes text or jsonl."));
    }
    if (parser.isSet(output)) {
        options.outputFile = parser.value(output);
        if (options.outputFile.isEmpty())
            return usageError(QStringLiteral("--output takes a file name."));
    }
    options.honourRobots = parser.isSet(robots);
    if (parser.isSet(rules)) {
        options.rules = linkRulesFromName(parser.value(rules));
        if (!options.rules)
            return usageError(QStringLiteral("--rules takes classic or standard."));
    }
    if (parser.isSet(scope)) {
        options.scope = linkScopeFromName(parser.value(scope));
        if (!options.scope)
            return usageError(QStringLiteral("--scope takes any, host or below."));
    }
    return CliParseResult{options, QString(), 0};
}
