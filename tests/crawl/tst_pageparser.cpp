#include "common/AppError.h"
#include "common/Settings.h"
#include "crawl/LinkHelpers.h"
#include "crawl/PageParser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <optional>

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace modParse;

namespace {

// Records every call in order as "page <url>" or "file <url>".
class RecordingSink : public LinkSink
{
public:
    void AddPage(QByteArray url) override { calls.append("page " + url); }
    void AddFile(QByteArray url) override { calls.append("file " + url); }

    QByteArrayList calls;
};

// Changes its own copy of each page link, as a frontier that trims the URL does.
class ChangingSink : public RecordingSink
{
public:
    void AddPage(QByteArray url) override
    {
        RecordingSink::AddPage(url);
        url.clear();
    }
};

const QByteArray PageUrl("http://host/dir/page.htm");

LinkLists defaultLists()
{
    return linkListsFrom(defaultSettings());
}

// The error number a call raised, or nothing when it returned.
template<typename Fn>
std::optional<qint64> raisedNumber(Fn &&fn)
{
    try {
        fn();
    } catch (const AppError &error) {
        return error.number();
    }
    return std::nullopt;
}

QByteArrayList extract(const QByteArray &pageText, const QByteArray &pageUrl = PageUrl,
                       const LinkLists &lists = defaultLists())
{
    RecordingSink sink;
    ExtractLinks(pageText, pageUrl, lists, sink);
    return sink.calls;
}

// The scan written out step by step on the whole lower-cased page, with the
// link helpers; the scanner must hand the sink exactly the same calls.
QByteArrayList referenceCalls(const QByteArray &pageText, const QByteArray &pageUrl, const LinkLists &lists)
{
    const QByteArray lower = pageText.toLower();
    QByteArrayList calls;
    qsizetype start = 0;
    for (;;) {
        const qsizetype b = lower.indexOf("a href=", start);
        if (b < 0)
            return calls;
        const qsizetype c = lower.indexOf('>', b);
        if (c < 0)
            return calls << "error";
        QByteArray link = modPublic::CleanLink(lower.mid(b + 7, c - b - 7));
        start = c;
        if (link.contains('#') || link.contains("java"))
            continue;
        if (!link.contains("http://"))
            link = modPublic::GetBaseUrl(pageUrl) + (link.startsWith('/') ? link.mid(1) : link);
        const QByteArray ext = modPublic::GetExtension(link);
        if (ext.isEmpty() || lists.follow.contains(ext))
            calls << "page " + link;
        if (!ext.isEmpty() && lists.search.contains(ext))
            calls << "file " + link;
    }
}

// A page of `size` bytes of words, tags and links in mixed letter case.
QByteArray randomPage(qsizetype size, quint32 seed)
{
    static const char *const pieces[] = {
        "the ", "A ", "a ", "href ", "HREF=", "<p>", "</p>\n", "<div class=\"box\">", "<img src=x.gif>",
        "<A HREF='Pics/Cat.JPG'>", "<a href=/top.htm>", "<a href=\"sub/\">", "<a href='x.htm' target=_top>",
        "<a href=http://Other/a.HTML>", "<a href=go.asp?u=http://o/a.mpg>", "<a href=s.mp3#t>", "<a href=x.m>",
        "<a href=\"javascript:x()\">", "<a\nhref=n.htm>", "a href=", ">", " ", "\r", "\n", "=", "\xC9"};
    constexpr quint32 count = sizeof pieces / sizeof pieces[0];
    quint32 state = seed;
    QByteArray page;
    while (page.size() < size) {
        state = state * 1664525u + 1013904223u;
        page += pieces[(state >> 16) % count];
    }
    return page + '>';
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool runningAsRoot()
{
    return geteuid() == 0;
}

// Runs `check` on a fresh folder under the rights of an ordinary user, so that
// file and folder permissions bind it. Run as root (as CI runs the tests), the
// check goes to a child process that gives up root for the user "nobody" and
// works inside the folder, handed over to that user, by relative paths: the
// folders above it need not be open to it. The check's own failures print as
// usual; the child's exit status carries them back.
template<typename Check>
void runAsOrdinaryUser(Check &&check)
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (!runningAsRoot()) {
        check(dir.path());
        return;
    }
    const passwd *nobody = ::getpwnam("nobody");
    QVERIFY2(nobody, "the user nobody is needed to test permissions as root");
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    const QByteArray folder = QFile::encodeName(dir.path());
    QCOMPARE(::chown(folder.constData(), uid, gid), 0);

    std::fflush(nullptr);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (::chdir(folder.constData()) != 0 || ::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0
            || ::setuid(uid) != 0 || ::geteuid() == 0) {
            std::perror("cannot give up root for the user nobody");
            ::_exit(2);
        }
        check(QStringLiteral("."));
        std::fflush(nullptr);
        ::_exit(QTest::currentTestFailed() ? 1 : 0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0,
             "the check failed when run as the user nobody (its messages are above)");
}

} // namespace

class tst_PageParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaultLists();
    void listsFromSettings();

    void workedExamples_data();
    void workedExamples();
    void classification_data();
    void classification();

    void linkAcrossBlockBoundaries();
    void sameCallsAsTheStepByStepScan_data();
    void sameCallsAsTheStepByStepScan();
    void pageTestRunsBeforeFileTestWithItsOwnCopy();
    void relativeLinksKeepThePageAddressCase();
    void missingCloseFailsAfterEarlierLinks();
    void longSliceOverflowsAfterEarlierLinks();
    void longResolvedLinkOverflows();
    void pageAddressOverflowsOnlyForRelativeLinks();
    void errorsCarryTheirSource();

    void parsePageFile_data();
    void parsePageFile();
    void parsePageFileDeletesFileWhenScanFails();
    void missingFileRaises();
    void directoryRaisesAndStays();
    void unreadableFileRaisesAndStays();
    void undeletableFileRaisesBeforeScan();
};

void tst_PageParser::defaultLists()
{
    const LinkLists lists = ::defaultLists();
    QCOMPARE(lists.follow, QByteArray("asp,htm,html,com,org,net,tv"));
    QCOMPARE(lists.search, QByteArray("asf,avi,gif,jpg,jpeg,mp3,mpg,mpeg"));
}

void tst_PageParser::listsFromSettings()
{
    Settings settings = defaultSettings();
    settings.Follow = QString();
    settings.Search = QStringLiteral("z\u00e9");
    const LinkLists lists = linkListsFrom(settings);
    QCOMPARE(lists.follow, QByteArray(",com,org,net,tv"));
    QCOMPARE(lists.search, QByteArray("z\xc3\xa9"));
}

void tst_PageParser::workedExamples_data()
{
    QTest::addColumn<QByteArray>("pageText");
    QTest::addColumn<QByteArrayList>("calls");

    const auto page = [](const char *url) { return QByteArrayList{QByteArray("page ") + url}; };
    const auto file = [](const char *url) { return QByteArrayList{QByteArray("file ") + url}; };

    QTest::newRow("quoted capitals") << QByteArray("<A HREF='Pics/Cat.JPG'>") << file("http://host/dir/pics/cat.jpg");
    QTest::newRow("leading slash") << QByteArray("<a href=/top.htm>") << page("http://host/dir/top.htm");
    QTest::newRow("dot segments kept")
        << QByteArray("<a href=../up/index.html>") << page("http://host/dir/../up/index.html");
    QTest::newRow("attribute after the link")
        << QByteArray("<a href='x.htm' target='_top'>") << page("http://host/dir/x.htm");
    QTest::newRow("directory") << QByteArray("<a href=sub/>") << page("http://host/dir/sub/");
    QTest::newRow("other host") << QByteArray("<a href=http://other>") << page("http://other");
    QTest::newRow("empty quotes") << QByteArray("<a href=''>") << page("http://host/dir/");
    QTest::newRow("query in the extension") << QByteArray("<a href=page2.asp?id=3>") << QByteArrayList();
    QTest::newRow("redirect to a file")
        << QByteArray("<a href=go.asp?u=http://other/a.mpg>") << file("http://other/a.mpg");
    QTest::newRow("extension in both lists")
        << QByteArray("<a href=x.m>") << QByteArrayList{"page http://host/dir/x.m", "file http://host/dir/x.m"};
    QTest::newRow("fragment") << QByteArray("<a href=song.mp3#t>") << QByteArrayList();
    QTest::newRow("java in the path") << QByteArray("<a href=http://other/java/a.htm>") << QByteArrayList();
}

void tst_PageParser::workedExamples()
{
    QFETCH(QByteArray, pageText);
    QFETCH(QByteArrayList, calls);
    QCOMPARE(extract(pageText), calls);
}

void tst_PageParser::classification_data()
{
    QTest::addColumn<QByteArray>("pageText");
    QTest::addColumn<QByteArrayList>("calls");

    QTest::newRow("no link") << QByteArray("<p>nothing <b>here</b></p>") << QByteArrayList();
    QTest::newRow("empty page") << QByteArray() << QByteArrayList();
    QTest::newRow("lower a, upper HREF") << QByteArray("<a HREF=x.htm>") << QByteArrayList{"page http://host/dir/x.htm"};
    QTest::newRow("two blanks") << QByteArray("<a  href=x.htm>") << QByteArrayList();
    QTest::newRow("attribute before href") << QByteArray("<a class=x href=x.htm>") << QByteArrayList();
    QTest::newRow("blanks around =") << QByteArray("<a href = x.htm>") << QByteArrayList();
    QTest::newRow("joined tag name") << QByteArray("<ahref=x.htm>") << QByteArrayList();
    QTest::newRow("area tag") << QByteArray("<area href=m.htm>") << QByteArrayList{"page http://host/dir/m.htm"};
    QTest::newRow("blank after =") << QByteArray("<a href= x.htm>") << QByteArrayList{"page http://host/dir/"};
    QTest::newRow("close right after =") << QByteArray("<a href=>") << QByteArrayList{"page http://host/dir/"};
    QTest::newRow("two matches before one close")
        << QByteArray("<a href=x.htm a href=y.htm>") << QByteArrayList{"page http://host/dir/x.htm"};
    QTest::newRow("next search starts at the close")
        << QByteArray("<a href=x.htm>a href=y.gif>")
        << QByteArrayList{"page http://host/dir/x.htm", "file http://host/dir/y.gif"};
    QTest::newRow("page with a fragment") << QByteArray("<a href=page.htm#top>") << QByteArrayList();
    // Without an extension these would be queued as pages; the "#" alone keeps them out.
    QTest::newRow("fragment alone") << QByteArray("<a href=#top>") << QByteArrayList();
    QTest::newRow("fragment after a directory") << QByteArray("<a href=dir/#x>") << QByteArrayList();
    QTest::newRow("fragment on another host") << QByteArray("<a href=http://other/#x>") << QByteArrayList();
    QTest::newRow("javascript") << QByteArray("<a href=\"javascript:go()\">") << QByteArrayList();
    QTest::newRow("java in a relative link") << QByteArray("<a href=Java/a.htm>") << QByteArrayList();
    QTest::newRow("trailing dot") << QByteArray("<a href=file.>") << QByteArrayList{"page http://host/dir/file."};
    QTest::newRow("no dot in the last segment")
        << QByteArray("<a href=a.b/readme>") << QByteArrayList{"page http://host/dir/a.b/readme"};
    QTest::newRow("site address") << QByteArray("<a href=http://www.x.com>") << QByteArrayList{"page http://www.x.com"};
    QTest::newRow("short extension matches inside an item")
        << QByteArray("<a href=a.t>") << QByteArrayList{"page http://host/dir/a.t"};
    QTest::newRow("mp matches mp3 and mpg") << QByteArray("<a href=a.mp>") << QByteArrayList{"file http://host/dir/a.mp"};
    QTest::newRow("neither list") << QByteArray("<a href=a.zip>") << QByteArrayList();
    QTest::newRow("mail link resolved like a relative link")
        << QByteArray("<a href=mailto:me@x.com>") << QByteArrayList{"page http://host/dir/mailto:me@x.com"};
    QTest::newRow("secure link resolved like a relative link")
        << QByteArray("<a href=https://s/a.gif>") << QByteArrayList{"file http://host/dir/https://s/a.gif"};
    QTest::newRow("commas and apostrophes removed")
        << QByteArray("<a href=\"it's,here.htm\">") << QByteArrayList{"page http://host/dir/itshere.htm"};
    QTest::newRow("line feed closed up") << QByteArray("<a href=a\n.gif>") << QByteArrayList{"file http://host/dir/a.gif"};
    QTest::newRow("high bytes not lowered")
        << QByteArray("<a href=\xC9T\xC9.htm>") << QByteArrayList{"page http://host/dir/\xC9t\xC9.htm"};
    QTest::newRow("several links in order")
        << QByteArray("<a href=1.htm><img src=x.gif><A Href=\"2.JPG\">text<a href=3/>")
        << QByteArrayList{"page http://host/dir/1.htm", "file http://host/dir/2.jpg", "page http://host/dir/3/"};
}

void tst_PageParser::classification()
{
    QFETCH(QByteArray, pageText);
    QFETCH(QByteArrayList, calls);
    QCOMPARE(extract(pageText), calls);
}

void tst_PageParser::linkAcrossBlockBoundaries()
{
    // The page is searched a block at a time; a link must be found wherever it
    // falls, in the first block's end or after earlier links moved the search.
    for (qsizetype offset = 32 * 1024 - 12; offset <= 32 * 1024 + 2; ++offset) {
        const QByteArray alone = QByteArray(offset, 'x') + "<A HrEf=Y.htm>" + QByteArray(20, 'x');
        QCOMPARE(extract(alone), QByteArrayList{"page http://host/dir/y.htm"});
        const QByteArray second = "<a href=a.htm>" + QByteArray(offset, 'x') + "<a href=b.htm>";
        QCOMPARE(extract(second), (QByteArrayList{"page http://host/dir/a.htm", "page http://host/dir/b.htm"}));
    }
    // A slice that runs on past the block into the next one.
    const QByteArray longSlice = QByteArray(32 * 1024 - 100, 'x') + "<a href=" + QByteArray(300, 'L') + ".htm>";
    QCOMPARE(extract(longSlice), QByteArrayList{"page http://host/dir/" + QByteArray(300, 'l') + ".htm"});
}

void tst_PageParser::sameCallsAsTheStepByStepScan_data()
{
    QTest::addColumn<QByteArray>("pageText");

    QTest::newRow("small") << randomPage(2000, 1);
    QTest::newRow("several blocks") << randomPage(150000, 2);
    QTest::newRow("several blocks, other mix") << randomPage(150000, 3);
}

void tst_PageParser::sameCallsAsTheStepByStepScan()
{
    QFETCH(QByteArray, pageText);

    const LinkLists lists = ::defaultLists();
    const QByteArrayList expected = referenceCalls(pageText, PageUrl, lists);
    QVERIFY(expected.size() > 20);
    QCOMPARE(extract(pageText), expected);
}

void tst_PageParser::pageTestRunsBeforeFileTestWithItsOwnCopy()
{
    LinkLists lists = ::defaultLists();
    lists.search += ",htm";
    ChangingSink sink;
    ExtractLinks("<a href=x.htm>", PageUrl, lists, sink);
    QCOMPARE(sink.calls, (QByteArrayList{"page http://host/dir/x.htm", "file http://host/dir/x.htm"}));
}

void tst_PageParser::relativeLinksKeepThePageAddressCase()
{
    QCOMPARE(extract("<a href=X.htm><a href=http://Other/Y.htm>", "HTTP://Host/Dir/p.htm"),
             (QByteArrayList{"page http://Host/Dir/x.htm", "page http://other/y.htm"}));
    // The "java" test sees the link alone, never the page address.
    QCOMPARE(extract("<a href=x.htm>", "http://host/java/p.htm"), QByteArrayList{"page http://host/java/x.htm"});
    // Empty and capitalised list entries.
    LinkLists lists;
    lists.follow = ",com,org,net,tv";
    lists.search = "GIF";
    QCOMPARE(extract("<a href=a.htm><a href=b.gif><a href=c/><a href=d.org>", PageUrl, lists),
             (QByteArrayList{"page http://host/dir/c/", "page http://host/dir/d.org"}));
}

void tst_PageParser::missingCloseFailsAfterEarlierLinks()
{
    RecordingSink sink;
    const auto raised = raisedNumber(
        [&] { ExtractLinks("<a href=a.htm><a href=b.gif> <a href=c.htm", PageUrl, ::defaultLists(), sink); });
    QCOMPARE(raised, std::optional<qint64>(ErrorNumber::InvalidArgument));
    QCOMPARE(sink.calls, (QByteArrayList{"page http://host/dir/a.htm", "file http://host/dir/b.gif"}));
}

void tst_PageParser::longSliceOverflowsAfterEarlierLinks()
{
    // 32,766 characters between "=" and ">" with a blank early on pass; 32,768 fail
    // however early the blank.
    const QByteArray fine = "<a href=x.htm " + QByteArray(32766 - 6, 'y') + '>';
    QCOMPARE(extract(fine), QByteArrayList{"page http://host/dir/x.htm"});

    RecordingSink sink;
    const QByteArray page = "<a href=a.htm><a href=b.htm " + QByteArray(32768 - 6, 'y') + "><a href=c.htm>";
    const auto raised = raisedNumber([&] { ExtractLinks(page, PageUrl, ::defaultLists(), sink); });
    QCOMPARE(raised, std::optional<qint64>(ErrorNumber::Overflow));
    QCOMPARE(sink.calls, QByteArrayList{"page http://host/dir/a.htm"});
}

void tst_PageParser::longResolvedLinkOverflows()
{
    // The base "http://host/dir/" has 16 characters; the resolved link may have 32,767.
    const QByteArray fits = "<a href=" + QByteArray(32767 - 16, 'x') + '>';
    QCOMPARE(extract(fits).size(), 1);
    const QByteArray tooLong = "<a href=" + QByteArray(32768 - 16, 'x') + '>';
    RecordingSink sink;
    QCOMPARE(raisedNumber([&] { ExtractLinks(tooLong, PageUrl, ::defaultLists(), sink); }),
             std::optional<qint64>(ErrorNumber::Overflow));
    QVERIFY(sink.calls.isEmpty());
}

void tst_PageParser::pageAddressOverflowsOnlyForRelativeLinks()
{
    const QByteArray longPageUrl = "http://host/" + QByteArray(32761, 'd') + "/p.htm";
    QCOMPARE(extract("<a href=http://x/a.htm><a href=#top>", longPageUrl), QByteArrayList{"page http://x/a.htm"});

    RecordingSink sink;
    QCOMPARE(raisedNumber([&] {
                 ExtractLinks("<a href=http://x/a.htm><a href=b.htm>", longPageUrl, ::defaultLists(), sink);
             }),
             std::optional<qint64>(ErrorNumber::Overflow));
    QCOMPARE(sink.calls, QByteArrayList{"page http://x/a.htm"});
}

void tst_PageParser::errorsCarryTheirSource()
{
    RecordingSink sink;
    try {
        ExtractLinks("<a href=x", PageUrl, ::defaultLists(), sink);
        QFAIL("no error raised");
    } catch (const AppError &error) {
        QCOMPARE(error.number(), ErrorNumber::InvalidArgument);
        QCOMPARE(error.source(), QStringLiteral("modParse"));
    }
    try {
        ParsePageFile(QStringLiteral("/nonexistent/page.tmp"), PageUrl, ::defaultLists(), sink);
        QFAIL("no error raised");
    } catch (const AppError &error) {
        QCOMPARE(error.number(), ErrorNumber::FileNotFound);
        QCOMPARE(error.source(), QStringLiteral("modParse"));
        QCOMPARE(error.description(), QStringLiteral("File not found"));
    }
}

void tst_PageParser::parsePageFile_data()
{
    QTest::addColumn<QByteArray>("fileBytes");
    QTest::addColumn<QByteArrayList>("calls");

    const QByteArrayList twoPages{"page http://host/dir/a.htm", "page http://host/dir/b.htm"};
    QTest::newRow("CR LF line ends") << QByteArray("<p>\r\n<a href=a.htm>\r\n<a href=b.htm>\r\n") << twoPages;
    QTest::newRow("CR line ends") << QByteArray("<p>\r<a href=a.htm>\r<a href=b.htm>\r") << twoPages;
    QTest::newRow("no line end at the end") << QByteArray("<a href=a.htm>\r\n<a href=b.htm>") << twoPages;
    QTest::newRow("LF-only line ends") << QByteArray("<a\n href=a.htm>\n<a href=b.htm>\n")
                                       << QByteArrayList{"page http://host/dir/b.htm"};
    QTest::newRow("LF inside a link joined up") << QByteArray("<a href=\"pics/\nc.gif\">\n")
                                                << QByteArrayList{"file http://host/dir/pics/c.gif"};
    QTest::newRow("line end between a and href") << QByteArray("<a\r\nhref=a.htm><a\rhref=b.htm>") << QByteArrayList();
    QTest::newRow("CR joins a broken link") << QByteArray("<a href=a\r.htm>") << QByteArrayList{"page http://host/dir/a.htm"};
    QTest::newRow("line end runs words together")
        << QByteArray("<a href=x.htm\r\ntarget=_top>") << QByteArrayList();
    // CR CR LF: an empty line then a CR LF line end. CR LF LF: the second LF is text.
    QTest::newRow("CR CR LF") << QByteArray("<a href=a.g\r\r\nif>") << QByteArrayList{"file http://host/dir/a.gif"};
    QTest::newRow("CR LF LF") << QByteArray("<a\r\n\n href=a.htm>") << QByteArrayList();
    QTest::newRow("LF CR") << QByteArray("<a href=a.g\n\rif>") << QByteArrayList{"file http://host/dir/a.gif"};
    QTest::newRow("empty file") << QByteArray() << QByteArrayList();
    QTest::newRow("NUL byte kept") << QByteArray("<a href=a\0b.htm>", 16)
                                   << QByteArrayList{QByteArray("page http://host/dir/a\0b.htm", 28)};
}

void tst_PageParser::parsePageFile()
{
    QFETCH(QByteArray, fileBytes);
    QFETCH(QByteArrayList, calls);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("page.tmp"));
    QVERIFY(writeFile(path, fileBytes));

    RecordingSink sink;
    ParsePageFile(path, PageUrl, ::defaultLists(), sink);
    QCOMPARE(sink.calls, calls);
    QVERIFY(!QFile::exists(path));
}

void tst_PageParser::parsePageFileDeletesFileWhenScanFails()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("page.tmp"));
    QVERIFY(writeFile(path, "<a href=a.htm>\r\n<a href=b.htm"));

    RecordingSink sink;
    QCOMPARE(raisedNumber([&] { ParsePageFile(path, PageUrl, ::defaultLists(), sink); }),
             std::optional<qint64>(ErrorNumber::InvalidArgument));
    QCOMPARE(sink.calls, QByteArrayList{"page http://host/dir/a.htm"});
    QVERIFY(!QFile::exists(path));
}

void tst_PageParser::missingFileRaises()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    RecordingSink sink;
    QCOMPARE(raisedNumber([&] {
                 ParsePageFile(dir.filePath(QStringLiteral("gone.tmp")), PageUrl, ::defaultLists(), sink);
             }),
             std::optional<qint64>(ErrorNumber::FileNotFound));
    QCOMPARE(raisedNumber([&] { ParsePageFile(QString(), PageUrl, ::defaultLists(), sink); }),
             std::optional<qint64>(ErrorNumber::FileNotFound));
    QVERIFY(sink.calls.isEmpty());
}

void tst_PageParser::directoryRaisesAndStays()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("page.tmp"));
    QVERIFY(QDir().mkdir(path));

    RecordingSink sink;
    QCOMPARE(raisedNumber([&] { ParsePageFile(path, PageUrl, ::defaultLists(), sink); }),
             std::optional<qint64>(ErrorNumber::PathFileAccess));
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(sink.calls.isEmpty());
}

void tst_PageParser::unreadableFileRaisesAndStays()
{
    // File permissions do not stop the superuser from reading.
    runAsOrdinaryUser([](const QString &dir) {
        const QString path = dir + QStringLiteral("/page.tmp");
        QVERIFY(writeFile(path, "<a href=a.htm>"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));

        RecordingSink sink;
        QCOMPARE(raisedNumber([&] { ParsePageFile(path, PageUrl, ::defaultLists(), sink); }),
                 std::optional<qint64>(ErrorNumber::PathFileAccess));
        QVERIFY(QFile::exists(path));
        QVERIFY(sink.calls.isEmpty());
    });
}

void tst_PageParser::undeletableFileRaisesBeforeScan()
{
    // Folder permissions do not stop the superuser from deleting.
    runAsOrdinaryUser([](const QString &dir) {
        const QString folder = dir + QStringLiteral("/locked");
        QVERIFY(QDir().mkdir(folder));
        const QString path = folder + QStringLiteral("/page.tmp");
        QVERIFY(writeFile(path, "<a href=a.htm>"));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

        RecordingSink sink;
        const auto raised = raisedNumber([&] { ParsePageFile(path, PageUrl, ::defaultLists(), sink); });
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(raised, std::optional<qint64>(ErrorNumber::PathFileAccess));
        QVERIFY(QFile::exists(path));
        QVERIFY(sink.calls.isEmpty());
    });
}

QTEST_APPLESS_MAIN(tst_PageParser)
#include "tst_pageparser.moc"
