#pragma once

#include "net/ReadReason.h"

#include <QByteArray>

class CrawlEngine;
class NodeTree;

// The rows of a crawl's result list, one small record per row, as every
// writer of the list takes them. Addresses are the crawl's 8-bit text.

// A found file, the address of the page whose scan first listed it (empty
// when none did) and, under standard link rules, how that scan found it
// ("link" or "embed"; empty otherwise).
struct FileRecord
{
    QByteArray url;
    QByteArray page;
    QByteArray how = {};
};

// A node of the page tree: a host or a page, with its state (a NodeImage) and,
// once its read has ended, the status and reason the read ended with.
struct PageRecord
{
    int index = 0;
    int image = 0;
    QByteArray key;
    int status = 0;
    ReadReason reason = ReadReason::None;
    // Under standard link rules, the address the page was read at (after
    // redirects), or is to be read at; empty otherwise.
    QByteArray address = {};

    // The address the node stands for: `address` when set, otherwise "http://"
    // and the key; a host stands for its root.
    QByteArray url() const;
};

// A link of a saved page as the crawl would classify it: `kind` is "page" or
// "file".
struct LinkRecord
{
    QByteArray kind;
    QByteArray url;
};

// The found file at this index of the engine's treeFiles.
FileRecord fileRecord(const CrawlEngine &engine, int index);
// The node at this index of a page tree.
PageRecord pageRecord(const NodeTree &pages, int index);

// The word for a page node's state: domain, queued, fetching, done or failed.
QByteArray pageStateName(int image);
