#pragma once

#include <QByteArray>
#include <QString>

struct Settings;

// Where the links of a page go: page links to the frontier, file links to the
// found-file list. Each call gets its own copy of the link.
class LinkSink
{
public:
    virtual ~LinkSink() = default;
    virtual void AddPage(QByteArray url) = 0;
    virtual void AddFile(QByteArray url) = 0;
};

// The two extension lists a page is classified with, as 8-bit text. `follow`
// already carries the fixed ",com,org,net,tv" ending.
struct LinkLists
{
    QByteArray follow;
    QByteArray search;
};

namespace modParse {

// The lists as the settings give them at this moment.
LinkLists linkListsFrom(const Settings &settings);

// Reads the downloaded page (CR and CR LF end a line, a lone LF is text, lines are
// joined with nothing between), deletes the file, then extracts its links. Raises
// AppError (source "modParse") before anything is scanned when the file cannot be
// opened or read (53 "File not found", 75 "Path/File access error"; the file is
// then left in place) or cannot be deleted (75), and whatever ExtractLinks raises.
void ParsePageFile(const QString &fileName, const QByteArray &pageUrl, const LinkLists &lists,
                   LinkSink &sink);

// Finds every "a href=" link in the lower-cased page, resolves relative links
// against the page's directory and hands each to the sink by its extension:
// pages when the extension is empty or occurs in `follow`, files when it is not
// empty and occurs in `search` (both can happen). Raises the invalid-argument
// AppError on an "a href=" with no ">" after it and the overflow AppError on
// links past the 16-bit limits of the link helpers; links handled before the
// error stay handled.
void ExtractLinks(const QByteArray &pageText, const QByteArray &pageUrl, const LinkLists &lists,
                  LinkSink &sink);

} // namespace modParse
