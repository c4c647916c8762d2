#pragma once

#include "common/LinkRules.h"

#include <QByteArray>
#include <QByteArrayView>

// Which pages a crawl under standard rules reads, by their address. Hosts are
// compared by name alone, so the root's host over http and over https is one
// host. Files are listed whatever their host; this decides about pages only.
class CrawlScope
{
public:
    // `rootAddress` in LinkResolver's normal form.
    CrawlScope(LinkScope scope, QByteArrayView rootAddress);

    // Whether the page at `address` (in normal form) is read: any address; one
    // on the root's host; or one on the root's host whose path begins with the
    // root's folder (its path up to and including the last "/").
    [[nodiscard]] bool contains(QByteArrayView address) const;

private:
    LinkScope m_scope;
    QByteArray m_host;
    QByteArray m_folder;
};
