#include "crawl/RobotsTxt.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <map>

namespace {

// One question to a robots.txt: may `agent` read `path`?
struct Example
{
    const char *name;
    const char *robots;
    const char *agent;
    const char *path;
    bool allowed;
};

// The simple example file of RFC 9309 (section 5.1).
constexpr char rfcExampleFile[] = "User-Agent: *\n"
                                  "Disallow: *.gif$\n"
                                  "Disallow: /example/\n"
                                  "Allow: /publications/\n"
                                  "\n"
                                  "User-Agent: foobot\n"
                                  "Disallow:/\n"
                                  "Allow:/example/page.html\n"
                                  "Allow:/example/allowed.gif\n"
                                  "\n"
                                  "User-Agent: barbot\n"
                                  "User-Agent: bazbot\n"
                                  "Disallow: /example/page.html\n"
                                  "\n"
                                  "User-Agent: quxbot\n"
                                  "\n"
                                  "EOF\n";

constexpr char rfcLongestMatch[] = "User-Agent: foobot\n"
                                   "Allow: /example/page/\n"
                                   "Disallow: /example/page/disallowed.gif\n";

constexpr char rfcMergedGroups[] = "user-agent: ExampleBot\n"
                                   "disallow: /foo\n"
                                   "disallow: /bar\n"
                                   "\n"
                                   "user-agent: ExampleBot\n"
                                   "disallow: /baz\n";

constexpr char rfcStarGroup[] = "user-agent: * \n"
                                "disallow: /foo\n"
                                "disallow: /bar\n"
                                "\n"
                                "user-agent: BazBot\n"
                                "disallow: /baz\n";

constexpr char rfcSpecialCharacters[] = "user-agent: *\n"
                                        "disallow: /this/ # comment in line\n"
                                        "# comment on its own line\n"
                                        "allow: /this/path/exactly$\n"
                                        "allow: /that/*/exactly\n"
                                        "disallow: /that/\n"
                                        "disallow: /path/file-with-a-%2A.html\n"
                                        "disallow: /path/foo-%24\n";

// The examples of RFC 9309: its example files (sections 2.2.1, 5.1 and 5.2), its
// special characters (2.2.3) and its percent-encoding table (2.2.2).
const Example rfcTable[] = {
    {"example file, star: publications open", rfcExampleFile, "Trovewick", "/publications/report.html", true},
    {"example file, star: example closed", rfcExampleFile, "Trovewick", "/example/index.html", false},
    {"example file, star: gif closed", rfcExampleFile, "Trovewick", "/images/logo.gif", false},
    {"example file, star: gif with a query open", rfcExampleFile, "Trovewick", "/images/logo.gif?size=2", true},
    {"example file, star: gif under publications open", rfcExampleFile, "Trovewick", "/publications/fig.gif", true},
    {"example file, star: other paths open", rfcExampleFile, "Trovewick", "/about.html", true},
    {"example file, foobot: allowed page", rfcExampleFile, "foobot", "/example/page.html", true},
    {"example file, foobot: allowed gif", rfcExampleFile, "foobot", "/example/allowed.gif", true},
    {"example file, foobot: other example page", rfcExampleFile, "foobot", "/example/other.html", false},
    {"example file, foobot: star group not for it", rfcExampleFile, "foobot", "/publications/", false},
    {"example file, foobot: root", rfcExampleFile, "foobot", "/", false},
    {"example file, FooBot: token case", rfcExampleFile, "FooBot", "/example/other.html", false},
    {"example file, barbot: page closed", rfcExampleFile, "barbot", "/example/page.html", false},
    {"example file, barbot: longer path closed", rfcExampleFile, "barbot", "/example/page.html.bak", false},
    {"example file, barbot: rest open", rfcExampleFile, "barbot", "/example/other.html", true},
    {"example file, barbot: gif open", rfcExampleFile, "barbot", "/images/logo.gif", true},
    {"example file, bazbot: page closed", rfcExampleFile, "bazbot", "/example/page.html", false},
    {"example file, quxbot: empty group", rfcExampleFile, "quxbot", "/example/page.html", true},
    {"example file, quxbot: gif", rfcExampleFile, "quxbot", "/images/logo.gif", true},
    {"longest match, directory allowed", rfcLongestMatch, "foobot", "/example/page/", true},
    {"longest match, longer disallow", rfcLongestMatch, "foobot", "/example/page/disallowed.gif", false},
    {"longest match, sibling allowed", rfcLongestMatch, "foobot", "/example/page/other.gif", true},
    {"merged groups: first group", rfcMergedGroups, "ExampleBot", "/foo", false},
    {"merged groups: first group again", rfcMergedGroups, "ExampleBot", "/bar", false},
    {"merged groups: second group", rfcMergedGroups, "ExampleBot", "/baz", false},
    {"merged groups: unnamed path", rfcMergedGroups, "ExampleBot", "/qux", true},
    {"star group: unnamed crawler", rfcStarGroup, "ExampleBot", "/foo", false},
    {"star group: not the other group", rfcStarGroup, "ExampleBot", "/baz", true},
    {"star group: named crawler", rfcStarGroup, "BazBot", "/baz", false},
    {"star group: named crawler skips star", rfcStarGroup, "BazBot", "/foo", true},
    {"special characters: comment ends the rule", rfcSpecialCharacters, "Trovewick", "/this/x", false},
    {"special characters: dollar: exact path", rfcSpecialCharacters, "Trovewick", "/this/path/exactly", true},
    {"special characters: dollar: longer path", rfcSpecialCharacters, "Trovewick", "/this/path/exactly.html", false},
    {"special characters: star: one segment", rfcSpecialCharacters, "Trovewick", "/that/a/exactly", true},
    {"special characters: star: several segments", rfcSpecialCharacters, "Trovewick", "/that/a/b/exactly", true},
    {"special characters: star: missing slash", rfcSpecialCharacters, "Trovewick", "/that/exactly", false},
    {"special characters: encoded star", rfcSpecialCharacters, "Trovewick", "/path/file-with-a-*.html", false},
    {"special characters: encoded star is no wildcard", rfcSpecialCharacters, "Trovewick",
     "/path/file-with-a-x.html", true},
    {"special characters: encoded dollar", rfcSpecialCharacters, "Trovewick", "/path/foo-$", false},
    {"special characters: encoded dollar is no anchor", rfcSpecialCharacters, "Trovewick", "/path/foo-", true},
    {"percent-encoding: query", "User-agent: *\nDisallow: /foo/bar?baz=quz\n", "Trovewick", "/foo/bar?baz=quz", false},
    {"percent-encoding: other query", "User-agent: *\nDisallow: /foo/bar?baz=quz\n", "Trovewick",
     "/foo/bar?baz=qux", true},
    {"percent-encoding: address in a query",
     "User-agent: *\nDisallow: /foo/bar?baz=https%3A%2F%2Ffoo.bar\n", "Trovewick",
     "/foo/bar?baz=https%3a%2f%2ffoo.bar", false},
    {"percent-encoding: raw UTF-8 path", "User-agent: *\nDisallow: /foo/bar/%E3%83%84\n", "Trovewick",
     "/foo/bar/\xE3\x83\x84", false},
    {"percent-encoding: encoded UTF-8 path", "User-agent: *\nDisallow: /foo/bar/%E3%83%84\n", "Trovewick",
     "/foo/bar/%e3%83%84", false},
    {"percent-encoding: raw UTF-8 rule", "User-agent: *\nDisallow: /foo/bar/\xE3\x83\x84\n", "Trovewick",
     "/foo/bar/%E3%83%84", false},
    {"percent-encoding: escaped letters in the path", "User-agent: *\nDisallow: /foo/bar/baz\n", "Trovewick",
     "/foo/bar/%62%61%7A", false},
    {"percent-encoding: escaped letters in the rule", "User-agent: *\nDisallow: /foo/bar/%62%61%7A\n", "Trovewick",
     "/foo/bar/baz", false},
    {"robots.txt itself", "User-agent: *\nDisallow: /\n", "Trovewick", "/robots.txt", true},
};

void addColumns()
{
    QTest::addColumn<QByteArray>("robots");
    QTest::addColumn<QByteArray>("agent");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("allowed");
}

void addRow(const char *name, const QByteArray &robots, const QByteArray &path, bool allowed)
{
    QTest::newRow(name) << robots << QByteArray("Trovewick") << path << allowed;
}

// A body of `size` bytes for every crawler in which `line` ends just before
// offset `lineEnd`, where its LF is; comment lines fill the rest.
QByteArray bodyWithLineEndingAt(const QByteArray &line, qsizetype lineEnd, qsizetype size)
{
    QByteArray body = "User-agent: *\n";
    body += '#' + QByteArray(lineEnd - line.size() - body.size() - 2, 'c') + '\n';
    body += line + '\n';
    if (body.size() < size)
        body += '#' + QByteArray(size - body.size() - 1, 'c');
    body.truncate(size);
    return body;
}

// The test row's question put to a parsed robots.txt.
void compareAnswer()
{
    QFETCH(QByteArray, robots);
    QFETCH(QByteArray, agent);
    QFETCH(QByteArray, path);
    QFETCH(bool, allowed);
    QCOMPARE(RobotsTxt::parse(robots, agent).allows(path), allowed);
}

} // namespace

class tst_RobotsTxt : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rfcExamples_data();
    void rfcExamples();
    void groups_data();
    void groups();
    void matching_data();
    void matching();
    void lines_data();
    void lines();
    void sizeLimit_data();
    void sizeLimit();
    void answersWithoutAFile_data();
    void answersWithoutAFile();
    void agreesWithProtego();
};

void tst_RobotsTxt::rfcExamples_data()
{
    addColumns();
    for (const Example &example : rfcTable)
        QTest::newRow(example.name) << QByteArray(example.robots) << QByteArray(example.agent)
                                    << QByteArray(example.path) << example.allowed;
}

void tst_RobotsTxt::rfcExamples()
{
    compareAnswer();
}

void tst_RobotsTxt::groups_data()
{
    addColumns();
    addRow("agent line in capitals", "User-agent: TROVEWICK\nDisallow: /x\n", "/x", false);
    addRow("agent line in lower case", "User-agent: trovewick\nDisallow: /x\n", "/x", false);
    addRow("version after the token", "User-agent: Trovewick/2.0\nDisallow: /x\n", "/x", false);
    addRow("words after the token", "User-agent: Trovewick (+http://host/bot)\nDisallow: /x\n", "/x", false);
    addRow("longer name is another crawler", "User-agent: TrovewickBot\nDisallow: /x\n", "/x", true);
    addRow("shorter name is another crawler", "User-agent: Trove\nDisallow: /x\n", "/x", true);
    addRow("named group wins over star", "User-agent: *\nDisallow: /\n\nUser-agent: Trovewick\nDisallow: /private\n",
           "/public", true);
    addRow("star when no group names us", "User-agent: *\nDisallow: /\n\nUser-agent: OtherBot\nAllow: /\n",
           "/public", false);
    addRow("named group with an empty rule still wins",
           "User-agent: Trovewick\nAllow:\n\nUser-agent: *\nDisallow: /\n", "/a", true);
    addRow("agent lines across a blank line share a group",
           "User-agent: Trovewick\n\nUser-agent: *\nDisallow: /\n", "/a", false);
    addRow("shared group", "User-agent: OtherBot\nUser-agent: Trovewick\nDisallow: /a\n", "/a", false);
    addRow("rule after a shared group's end",
           "User-agent: Trovewick\nDisallow: /a\nUser-agent: OtherBot\nDisallow: /b\n", "/b", true);
    const QByteArray merged = "User-agent: Trovewick\nDisallow: /a\n\nUser-agent: OtherBot\nDisallow: /b\n\n"
                              "User-agent: trovewick\nDisallow: /c\n";
    addRow("merged groups: first", merged, "/a", false);
    addRow("merged groups: between", merged, "/b", true);
    addRow("merged groups: last", merged, "/c", false);
    const QByteArray mergedStar = "User-agent: *\nDisallow: /a\n\nUser-agent: OtherBot\nDisallow: /b\n\n"
                                  "User-agent: *\nAllow: /a/open\n";
    addRow("merged star groups: closed", mergedStar, "/a/closed", false);
    addRow("merged star groups: open", mergedStar, "/a/open", true);
    addRow("rules before any agent", "Disallow: /\nUser-agent: *\nDisallow: /b\n", "/a", true);
    addRow("rules and no agent", "Disallow: /\n", "/a", true);
    addRow("sitemap between agent lines", "User-agent: Trovewick\nSitemap: http://host/s.xml\nUser-agent: OtherBot\n"
                                          "Disallow: /a\n", "/a", false);
    addRow("empty file", "", "/a", true);
}

void tst_RobotsTxt::groups()
{
    compareAnswer();
}

void tst_RobotsTxt::matching_data()
{
    addColumns();
    const auto add = [](const char *name, const QByteArray &rules, const QByteArray &path, bool allowed) {
        addRow(name, "User-agent: *\n" + rules, path, allowed);
    };
    add("longest match: disallow", "Allow: /a\nDisallow: /ab\n", "/abc", false);
    add("longest match: allow", "Disallow: /a\nAllow: /ab\n", "/abc", true);
    add("longest match: order does not count", "Disallow: /ab\nAllow: /a\n", "/abc", false);
    add("tie: allow after disallow", "Disallow: /a\nAllow: /a\n", "/a", true);
    add("tie: allow before disallow", "Allow: /a\nDisallow: /a\n", "/a", true);
    add("tie of different rules", "Disallow: /ab\nAllow: /a*\n", "/abc", true);
    add("wildcard counts its own octet", "Allow: /*.html\nDisallow: /private/\n", "/private/a.html", false);
    add("dollar: exact", "Disallow: /a$\n", "/a", false);
    add("dollar: longer path", "Disallow: /a$\n", "/ab", true);
    add("dollar: query", "Disallow: /a$\n", "/a?x", true);
    add("dollar with star: match", "Disallow: /*.php$\n", "/x/y.php", false);
    add("dollar with star: query", "Disallow: /*.php$\n", "/x/y.php?a=1", true);
    add("dollar with star: longer", "Disallow: /*.php$\n", "/x.phps", true);
    add("dollar with star: later match", "Disallow: /*.php$\n", "/a.php/b.php", false);
    add("dollar with star: parts do not overlap", "Disallow: /ab*b$\n", "/ab", true);
    add("dollar counts as an octet", "Allow: /ab\nDisallow: /ab$\n", "/ab", false);
    add("dollar inside a rule is text", "Disallow: /a$b\n", "/a$b", false);
    add("dollar inside a rule, escaped path", "Disallow: /a$b\n", "/a%24b", false);
    add("star matches nothing", "Disallow: /a*b\n", "/ab", false);
    add("star matches slashes", "Disallow: /a*b\n", "/a/x/y/b", false);
    add("star needs the rest", "Disallow: /a*b\n", "/a/x/y", true);
    add("stars in a row", "Disallow: /a**b\n", "/axb", false);
    add("star first", "Disallow: *.gif\n", "/img/x.gif", false);
    add("star last", "Disallow: /a*\n", "/a", false);
    add("star in the path is text", "Disallow: /a*b\n", "/a*c", true);
    add("empty disallow allows all", "Disallow:\n", "/", true);
    add("empty allow does not open", "Disallow: /\nAllow:\n", "/a", false);
    add("rule without a slash", "Disallow: a\n", "/a", true);
    add("case counts", "Disallow: /Private\n", "/private", true);
    add("escape case does not count", "Disallow: /a%2f\n", "/a%2Fb", false);
    add("escaped slash is no slash", "Disallow: /a/b\n", "/a%2Fb", true);
    add("reserved escapes stay escaped", "Disallow: /foo?u=https://foo.bar\n", "/foo?u=https%3A%2F%2Ffoo.bar", true);
    add("escaped tilde is a tilde", "Disallow: /~me\n", "/%7Eme/", false);
    add("space escaped", "Disallow: /a b\n", "/a%20b", false);
    add("lone percent", "Disallow: /100%\n", "/100%", false);
    add("query is part of the path", "Disallow: /search?q=\n", "/search?q=x", false);
    add("query rule leaves the path", "Disallow: /search?q=\n", "/search", true);
    add("empty path is the root", "Disallow: /$\n", "", false);
}

void tst_RobotsTxt::matching()
{
    compareAnswer();
}

void tst_RobotsTxt::lines_data()
{
    addColumns();
    addRow("LF", "User-agent: *\nDisallow: /a\n", "/a", false);
    addRow("CR LF", "User-agent: *\r\nDisallow: /a\r\n", "/a", false);
    addRow("CR", "User-agent: *\rDisallow: /a\r", "/a", false);
    addRow("CR ends the first group", "User-agent: *\rDisallow: /a\rUser-agent: OtherBot\rDisallow: /b\r", "/b",
           true);
    addRow("mixed line ends", "User-agent: OtherBot\rDisallow: /\r\nUser-agent: *\nDisallow: /a", "/a", false);
    addRow("no final line end", "User-agent: *\nDisallow: /a", "/a", false);
    addRow("comment after a rule", "User-agent: *\nDisallow: /a # not /b\n", "/a", false);
    addRow("comment right after a rule", "User-agent: *\nDisallow: /a#b\n", "/ax", false);
    addRow("comment after an agent", "User-agent: Trovewick # us\nDisallow: /a\n", "/a", false);
    addRow("commented-out rule", "User-agent: *\n# Disallow: /a\n", "/a", true);
    addRow("byte order mark", "\xEF\xBB\xBFUser-agent: *\nDisallow: /a\n", "/a", false);
    addRow("names in capitals", "USER-AGENT: *\nDISALLOW: /a\n", "/a", false);
    addRow("spaces around the colon", "User-agent : *\nDisallow :   /a   \n", "/a", false);
    addRow("tabs", "\tUser-agent:\t*\n\tDisallow:\t/a\t\n", "/a", false);
    addRow("unknown lines", "User-agent: *\nCrawl-delay: 10\nSitemap: http://h/s.xml\nDisallow: /a\n", "/a", false);
    addRow("line without a colon", "User-agent: *\nDisallow /a\n", "/a", true);
    addRow("misspelt name", "User-agent: *\nDissallow: /a\n", "/a", true);
}

void tst_RobotsTxt::lines()
{
    compareAnswer();
}

void tst_RobotsTxt::sizeLimit_data()
{
    addColumns();
    const qsizetype limit = RobotsTxt::maxParsedSize;
    const QByteArray rule = "Disallow: /private";
    addRow("rule well inside", bodyWithLineEndingAt(rule, limit - 1000, limit + 1000), "/private", false);
    addRow("rule ending at the limit", bodyWithLineEndingAt(rule, limit, limit + 1000), "/private", false);
    addRow("rule ending at the end of a file at the limit", bodyWithLineEndingAt(rule, limit, limit),
           "/private", false);
    addRow("rule cut by one byte", bodyWithLineEndingAt(rule, limit + 1, limit + 1000), "/private", true);
    addRow("rule cut: its start is not a rule", bodyWithLineEndingAt(rule, limit + 3, limit + 1000), "/priv", true);
    addRow("rule past the limit", bodyWithLineEndingAt(rule, limit + 500, limit + 1000), "/private", true);
}

void tst_RobotsTxt::sizeLimit()
{
    compareAnswer();
}

void tst_RobotsTxt::answersWithoutAFile_data()
{
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("4xx: root") << true << QByteArray("/") << true;
    QTest::newRow("4xx: page") << true << QByteArray("/a/b.htm?x=1") << true;
    QTest::newRow("5xx: root") << false << QByteArray("/") << false;
    QTest::newRow("5xx: page") << false << QByteArray("/a/b.htm?x=1") << false;
    QTest::newRow("5xx: empty path") << false << QByteArray() << false;
    QTest::newRow("5xx: robots.txt") << false << QByteArray("/robots.txt") << true;
    QTest::newRow("5xx: robots.txt escaped") << false << QByteArray("/robots%2etxt") << true;
    QTest::newRow("5xx: robots.txt with a query") << false << QByteArray("/robots.txt?x") << false;
    QTest::newRow("5xx: longer name") << false << QByteArray("/robots.txt.bak") << false;
}

void tst_RobotsTxt::answersWithoutAFile()
{
    QFETCH(bool, reachable);
    QFETCH(QByteArray, path);
    QFETCH(bool, allowed);
    const RobotsTxt robots = reachable ? RobotsTxt::allowAll() : RobotsTxt::disallowAll();
    QCOMPARE(robots.allows(path), allowed);
}

namespace {

// One line of a generated robots.txt: its name and colon, its value, and its
// comment and line end.
struct Line
{
    enum Kind { Agent, Rule, Other } kind;
    QByteArray head;
    QByteArray value;
    QByteArray tail;
};

// The values Protego reads where it departs from RFC 9309 on purpose or by
// design, for the lines a generated file is made of:
// - it looks for a user-agent line's whole value in the crawler's name, so
//   "Trovewick/2.0" names some other crawler;
// - it puts "/" before a rule that lacks it, so "*x" weighs one octet more;
// - it reads every "$" of a rule as text as well, so "/a$" also holds "/a%24",
//   and a rule with a "$" before its last can only match as that text; so can
//   an anchored rule with a query, whose "$" it writes back before the query.
QList<QByteArray> protegoValues(const Line &line)
{
    if (line.kind == Line::Agent)
        return {line.value.contains('/') ? QByteArray("OtherBot") : line.value};
    if (line.kind != Line::Rule)
        return {line.value};
    QByteArray rule = line.value.startsWith('*') ? '/' + line.value : line.value;
    if (!rule.contains('$'))
        return {rule};
    QList<QByteArray> values = {QByteArray(rule).replace("$", "%24")};
    if (rule.count('$') == 1 && rule.endsWith('$') && !rule.contains('?'))
        values.append(rule);
    return values;
}

// A generated question to both parsers: the file, the file as Protego reads
// it, and the paths to ask about.
struct Case
{
    QByteArray agent;
    QByteArray robots;
    QByteArray protegoView;
    QList<QByteArray> paths;
};

QByteArray pick(QRandomGenerator &random, const QList<QByteArray> &choices)
{
    return choices.at(random.bounded(qsizetype(choices.size())));
}

// Pieces of rules and paths: letters and their escapes, the wildcard and the
// anchor and their escapes, an escaped slash, a lone percent, a query and a
// non-ASCII letter raw and escaped. A query gets plain pieces only, since
// Protego compares a query as written. No rule or path starts with "//", which
// Protego takes for the start of a host name.
const QList<QByteArray> pathPieces = {"/", "x", "y", "z", "Z", "%78", "%7a", "*", "$", "%2A", "%2a",
                                      "%24", "%2F", "%", "?", "\xC3\xA9", "%C3%A9", "%c3%a9"};
const QList<QByteArray> queryPieces = {"/", "x", "y", "Z"};

// Adds up to `maxPieces` pieces; `rule` lets a query hold wildcards, and `fill`
// starts no query, since the rule text after a wildcard's filling holds other
// pieces than a query would.
void appendPieces(QRandomGenerator &random, QByteArray &text, int maxPieces, bool rule, bool fill = false)
{
    for (int n = random.bounded(maxPieces + 1); n > 0; --n) {
        const bool inQuery = text.contains('?');
        QByteArray piece = pick(random, inQuery ? queryPieces : pathPieces);
        if (inQuery && rule && random.bounded(4) == 0)
            piece = "*";
        if (((text.isEmpty() || text == "/") && piece == "/") || (fill && piece == "?"))
            piece = "x";
        text += piece;
    }
}

// A path some rule is likely to match: the rule with each wildcard filled in,
// the anchor dropped or kept as text, sometimes extended.
QByteArray pathFromRule(QRandomGenerator &random, const QByteArray &rule)
{
    QByteArray path = rule.startsWith('/') ? QByteArray() : QByteArray("/");
    for (char c : rule) {
        if (c == '*')
            appendPieces(random, path, 2, false, true);
        else
            path += c;
    }
    if (path.endsWith('$') && (path.contains('?') || random.bounded(2)))
        path.chop(1);
    if (random.bounded(2))
        appendPieces(random, path, 2, false);
    while (path.startsWith("//"))
        path.remove(0, 1);
    return path;
}

Case randomCase(QRandomGenerator &random)
{
    const QList<QByteArray> agents = {"*", "*", "Trovewick", "trovewick", "TROVEWICK", "OtherBot", "OtherBot"};
    const QList<QByteArray> lineEnds = {"\n", "\r\n", "\r"};
    QList<Line> lines;
    const auto add = [&](Line::Kind kind, const QByteArray &head, const QByteArray &value) {
        lines.append({kind, head, value, (random.bounded(8) ? "" : " # note") + pick(random, lineEnds)});
    };
    const auto addRule = [&] {
        const QByteArray name = random.bounded(2) ? pick(random, {"Allow", "allow", "ALLOW"})
                                                  : pick(random, {"Disallow", "disallow", "DISALLOW"});
        QByteArray rule;
        if (random.bounded(12)) {
            rule = random.bounded(10) ? "/" : "*";
            appendPieces(random, rule, 5, true);
            if (random.bounded(5) == 0)
                rule += '$';
        }
        add(Line::Rule, name + pick(random, {":", ": ", " : "}), rule);
    };
    if (random.bounded(10) == 0)
        addRule(); // before any group
    for (int group = random.bounded(1, 5); group > 0; --group) {
        for (int agent = random.bounded(1, 3); agent > 0; --agent)
            add(Line::Agent, pick(random, {"User-agent: ", "user-agent: ", "USER-AGENT: "}),
                random.bounded(20) ? pick(random, agents) : QByteArray("Trovewick/2.0"));
        for (int n = random.bounded(6); n > 0; --n) {
            addRule();
            if (random.bounded(10) == 0)
                add(Line::Other, pick(random, {"Crawl-delay: ", "Sitemap: "}), "http://host/sitemap.xml");
        }
        if (random.bounded(2))
            lines.last().tail += pick(random, lineEnds); // a blank line
    }

    Case c;
    c.agent = "Trovewick";
    for (const Line &line : std::as_const(lines)) {
        c.robots += line.head + line.value + line.tail;
        for (const QByteArray &value : protegoValues(line))
            c.protegoView += line.head + value + line.tail;
        if (line.kind == Line::Rule && !line.value.isEmpty())
            c.paths.append(pathFromRule(random, line.value));
    }
    for (int n = 0; n < 4; ++n) {
        QByteArray path = "/";
        appendPieces(random, path, 6, false);
        c.paths.append(path);
    }
    return c;
}

// A python3 that can import Protego: the one on PATH, else the system's own,
// which is where Debian's python3-protego is installed.
QString pythonWithProtego()
{
    QStringList candidates = {QStandardPaths::findExecutable(QStringLiteral("python3")),
                              QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")})};
    for (const QString &python : std::as_const(candidates)) {
        if (python.isEmpty())
            continue;
        QProcess probe;
        probe.start(python, {QStringLiteral("-c"), QStringLiteral("import protego")});
        if (probe.waitForFinished(60000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
            return python;
    }
    return QString();
}

QString escaped(const QByteArray &text)
{
    QString out;
    for (const char c : text) {
        const auto u = uchar(c);
        if (u == '\n')
            out += QStringLiteral("\\n");
        else if (u == '\r')
            out += QStringLiteral("\\r");
        else if (u < 0x20 || u >= 0x7F)
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += QLatin1Char(c);
    }
    return out;
}

} // namespace

// Protego's answers for the same questions, on the RFC examples and on files
// drawn at random from a fixed seed. A generated question is left out where the
// answer hangs on a point Protego reads differently (see protegoValues): when
// RobotsTxt answers it differently for the file as Protego reads it.
void tst_RobotsTxt::agreesWithProtego()
{
    const QString python = pythonWithProtego();
    if (python.isEmpty())
        QSKIP("python3 with Protego (Debian package python3-protego) is not installed");

    // The RFC examples Protego answers differently, and why.
    const QList<QByteArray> rfcDepartures = {
        "robots.txt itself", // Protego applies the rules to /robots.txt as to any path
        "percent-encoding: address in a query", // Protego compares a query as written, escapes' case included
    };
    QList<Case> cases;
    for (const Example &example : rfcTable) {
        if (!rfcDepartures.contains(example.name))
            cases.append({example.agent, example.robots, example.robots, {example.path}});
    }
    QCOMPARE(cases.size(), std::size(rfcTable) - rfcDepartures.size());
    QRandomGenerator random(9309);
    for (int n = 0; n < 400; ++n)
        cases.append(randomCase(random));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    std::map<QByteArray, QStringList> argumentsByAgent;
    for (qsizetype n = 0; n < cases.size(); ++n) {
        QFile robots(dir.filePath(QStringLiteral("%1.txt").arg(n)));
        QFile paths(dir.filePath(QStringLiteral("%1.paths").arg(n)));
        QVERIFY(robots.open(QIODevice::WriteOnly) && paths.open(QIODevice::WriteOnly));
        robots.write(cases[n].robots);
        paths.write(cases[n].paths.join('\n') + '\n');
        argumentsByAgent[cases[n].agent] << robots.fileName() << paths.fileName();
    }
    std::map<QByteArray, QList<QByteArray>> answersByAgent;
    for (const auto &[agent, arguments] : argumentsByAgent) {
        QProcess reference;
        reference.start(python, QStringList{QStringLiteral(TROVEWICK_TEST_DATA "/../support/robots_reference.py"),
                                            QString::fromLatin1(agent)}
                                    + arguments);
        QVERIFY(reference.waitForFinished(300000));
        QVERIFY2(reference.exitStatus() == QProcess::NormalExit && reference.exitCode() == 0,
                 reference.readAllStandardError().constData());
        answersByAgent[agent] = reference.readAllStandardOutput().split('\n');
    }

    int compared = 0;
    int leftOut = 0;
    QStringList differences;
    std::map<QByteArray, qsizetype> nextAnswer;
    for (const Case &c : std::as_const(cases)) {
        const RobotsTxt robots = RobotsTxt::parse(c.robots, c.agent);
        const RobotsTxt asProtegoReadsIt = RobotsTxt::parse(c.protegoView, c.agent);
        for (const QByteArray &path : c.paths) {
            const QByteArray theirs = answersByAgent[c.agent].value(nextAnswer[c.agent]++);
            QVERIFY2(theirs == "allowed" || theirs == "disallowed", theirs.constData());
            const bool ours = robots.allows(path);
            // Protego also drops the "?" of an empty query from the path it is asked about.
            const bool emptyQuery = path.indexOf('?') == path.size() - 1;
            if (ours != asProtegoReadsIt.allows(emptyQuery ? path.chopped(1) : path)) {
                ++leftOut;
                continue;
            }
            ++compared;
            if (ours != (theirs == "allowed"))
                differences << QStringLiteral("%1 | %2 | ours %3").arg(escaped(c.robots), escaped(path),
                                                                       ours ? QStringLiteral("allowed")
                                                                            : QStringLiteral("disallowed"));
        }
    }
    qInfo("%d answers compared with Protego's, %d left out, %lld differ", compared, leftOut,
          qlonglong(differences.size()));
    QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1Char('\n'))));
    QVERIFY(compared > 2000);
}

QTEST_GUILESS_MAIN(tst_RobotsTxt)
#include "tst_robotstxt.moc"
