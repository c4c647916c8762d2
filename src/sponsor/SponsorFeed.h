#pragma once

#include "net/ReadLimits.h"
#include "net/WebSession.h"

#include <QByteArray>
#include <QDomDocument>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

class TransferComponent;

// The sponsor line's state and behaviour: it loads the sponsor feed once, shows
// one sponsor text at a time, steps to the next every minute, opens the current
// sponsor's address on a click and asks the transfer component for the popup page
// the feed names. The main window only shows lblAdText() in the style
// isLinkStyle() gives and repaints on changed().
class SponsorFeed final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SponsorFeed)

public:
    // How the feed is read: given up after 30 s without data or two minutes in
    // all, so a server that trickles a byte now and then cannot hold the
    // connection for the whole run; the feed is a handful of entries, so
    // anything over 1 MiB is not a feed.
    static constexpr ReadLimits FeedLimits{30'000, 120'000, 1024 * 1024, 10};
    // The feed is four levels deep; the document object needs its stack in
    // proportion to the nesting, so deeper documents are refused before parsing.
    static constexpr int MaxFeedDepth = 64;
    static constexpr int AdIntervalMs = 60'000;

    // The feed is read through `session`; the popup page it names through
    // `txPages`. Both must outlive the feed.
    SponsorFeed(TransferComponent &txPages, WebSession &session, const QUrl &feedUrl,
                const ReadLimits &limits = FeedLimits, QObject *parent = nullptr);
    ~SponsorFeed() override;

    // The text the line shows until a sponsor entry replaces it.
    static QString designText();

    // Starts loading the feed; only the first call does anything. When the whole
    // document has arrived and parses, docAdText_ondataavailable() runs on it. An
    // unreachable, failing, oversized or malformed feed changes nothing.
    void load();

    // Feed processing: takes the sponsor entries and the popup page from
    // docAdText, turns the line into a link, enables TimerAds and shows the first
    // entry.
    void docAdText_ondataavailable();
    // Rotation step: shows the next sponsor entry, after the last the first again.
    void TimerAds_Timer();
    // Opens the current sponsor's web address; does nothing otherwise.
    void lblAd_Click();

    QString lblAdText() const { return m_lblAdText; }
    // True once the feed has been processed: the line is then drawn blue
    // (0, 0, 255) and underlined.
    bool isLinkStyle() const { return m_linkStyle; }
    // The rotation timer; its ticks already run TimerAds_Timer().
    QTimer &TimerAds() { return m_timerAds; }
    QDomDocument &docAdText() { return m_docAdText; }

    // What opens a sponsor's address in the user's browser.
    void setShellOpen(std::function<void(const QString &)> shellOpen);

    // True when `address` may be handed to the browser: an http or https address,
    // or a bare address whose host begins with "www.".
    static bool isWebAddress(const QByteArray &address);
    // True when `address` may be downloaded as the popup page: http or https only.
    static bool isPopupAddress(const QByteArray &address);

Q_SIGNALS:
    // The line's text or style changed.
    void changed();
    // The load started by load() is over; `processed` tells whether the feed
    // arrived and was processed. Emitted once.
    void loadFinished(bool processed);

private:
    // What the line needs of one sponsor entry, taken when the feed is processed.
    struct Entry
    {
        bool hasText = false; // the entry has a first child node
        QString text;         // its text content, shown literally
        bool hasAddress = false; // the entry has a second child node
        QString address;      // its text content, URL-encoded
    };

    // Requests the popup page; false when the address was unusable.
    bool requestPopup(const QString &encodedAddress);
    void setLine(const QString &text, bool linkStyle);
    void onLoaded(bool ok);

    TransferComponent &m_txPages;
    WebSession &m_session;
    const QUrl m_feedUrl;
    const ReadLimits m_limits;

    QDomDocument m_docAdText;
    std::optional<QList<Entry>> m_adList; // absent until an "ads" element is seen
    qsizetype m_cursor = -1;              // before the first entry
    std::optional<Entry> m_curAd;
    QString m_lblAdText;
    bool m_linkStyle = false;
    QTimer m_timerAds;
    std::function<void(const QString &)> m_shellOpen;

    WebSession::ReadId m_read = 0; // the load in flight, 0 when none
    QByteArray m_body;
    bool m_loadStarted = false;
};
