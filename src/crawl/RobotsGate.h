#pragma once

#include "crawl/RobotsTxt.h"

#include <QByteArray>
#include <QHash>
#include <QString>

struct AsyncProp;
class TransferComponent;

// What a crawl that honours robots.txt may read. Before a host's first page is
// read, the host's /robots.txt is read once through the crawl's own transfer
// component; its pages then wait, and are read or refused by its rules for the
// product token "Trovewick" (or "*"). A robots.txt answered with a 4xx status
// allows everything; a 5xx answer or none at all refuses everything.
class RobotsGate final
{
public:
    enum class Verdict {
        Read,   // the page may be read now
        Refuse, // the host's rules refuse it
        Wait,   // the host's robots.txt is still on its way
        Asked,  // as Wait, and this call has just asked for it
    };

    explicit RobotsGate(TransferComponent &transfer);

    // Whether the page at `pathAndQuery` of `origin` ("http://host" or
    // "https://host:port": each scheme and host has its own robots.txt) may be
    // read now.
    Verdict verdict(const QByteArray &origin, const QByteArray &pathAndQuery);

    // Reads of robots.txt files in flight.
    int readsInFlight() const { return int(m_pending.size()); }

    // Takes the finished read `key` if it is a robots.txt read: its rules are
    // kept and its file deleted. False for any other read.
    bool take(const QString &key, const AsyncProp &result);

private:
    TransferComponent &m_transfer;
    QHash<QByteArray, RobotsTxt> m_rules;  // by origin
    QHash<QString, QByteArray> m_pending;  // read key to origin
};
