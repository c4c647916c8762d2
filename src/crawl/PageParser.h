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

// Reads the downloaded page (CR and CR LF end a line, a lone LF is text), deletes
// the file, then extracts its links. Raises AppError when the file cannot be read
// (the file is then left in place) and whatever ExtractLinks raises.
void ParsePageFile(const QString &fileName, const QByteArray &pageUrl, const LinkLists &lists,
                   LinkSink &sink);

// Finds every "a href=" link in the page, resolves it against the page's
// directory and hands it to the sink by its extension. Raises AppError on an
// "a href=" with no ">" after it and on links past the 16-bit limits; links
// handled before the error stay handled.
void ExtractLinks(const QByteArray &pageText, const QByteArray &pageUrl, const LinkLists &lists,
                  LinkSink &sink);

} // namespace modParse
