#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// The crawler's status line on standard error. Off a terminal each change is a
// line of its own, as a log reader wants it. On a terminal one line is
// rewritten in place (carriage return, the text, clear to the end of the line)
// with the time since the start and the pages found per second added, at most
// ten times a second: a change that comes sooner waits, and only the newest
// waiting change is shown when its turn comes. A line left alone for a second
// is drawn again, so the time moves on while the counts stand still.
class StatusLine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusLine)

public:
    // Milliseconds on a steady clock.
    using Clock = std::function<qint64()>;
    // Takes bytes for standard error, to be written and flushed.
    using Sink = std::function<void(const QByteArray &bytes)>;

    static constexpr qint64 MinIntervalMs = 100;
    static constexpr int RedrawIntervalMs = 1000;

    // The start of the elapsed time is now(), at construction.
    StatusLine(bool isTerminal, Sink sink, Clock now, QObject *parent = nullptr);
    // On standard error, timed by the system's steady clock.
    explicit StatusLine(bool isTerminal, QObject *parent = nullptr);
    ~StatusLine() override;

    bool isTerminal() const { return m_isTerminal; }

    // A new status, `pages` the number of pages it counts.
    void show(const QString &status, int pages);

    // Shows a change that has waited its turn, if its turn has come; the timer
    // calls it when it is due.
    void showWaiting();
    bool hasWaiting() const { return m_waiting; }

    // Draws the line in place again with the time brought up to date; the
    // timer calls it a second after the last write.
    void redraw();

    // Ends the line rewritten in place, if any, so other text can follow on a
    // line of its own.
    void breakLine();

    // The last lines: on a terminal the line in place is brought up to date with
    // `current` (no waiting), then `last` follows on a line of its own; off a
    // terminal `last` is written alone.
    void finish(const QString &current, int pages, const QString &last);

    // " 3.2 s, 12.5 pages/s": what a terminal line adds to the status.
    static QString figures(qint64 elapsedMs, int pages);

private:
    void writeInPlace(const QString &status, int pages);

    bool m_isTerminal;
    Sink m_sink;
    Clock m_now;
    qint64 m_start;
    qint64 m_lastWrite = 0;
    bool m_written = false;  // something is on the line in place
    bool m_waiting = false;
    QString m_waitingStatus;
    int m_waitingPages = 0;
    QString m_shownStatus;
    int m_shownPages = 0;
    QTimer m_due;
    QTimer m_redraw;
};
