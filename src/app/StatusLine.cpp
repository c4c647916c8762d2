#include "app/StatusLine.h"

#include <QElapsedTimer>

#include <cstdio>
#include <memory>

namespace {

void writeToStandardError(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

StatusLine::Clock steadyClock()
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return [timer] { return timer->elapsed(); };
}

} // namespace

StatusLine::StatusLine(bool isTerminal, Sink sink, Clock now, QObject *parent)
    : QObject(parent), m_isTerminal(isTerminal), m_sink(std::move(sink)), m_now(std::move(now)), m_start(m_now())
{
    m_due.setSingleShot(true);
    connect(&m_due, &QTimer::timeout, this, &StatusLine::showWaiting);
    m_redraw.setSingleShot(true);
    m_redraw.setInterval(RedrawIntervalMs);
    connect(&m_redraw, &QTimer::timeout, this, &StatusLine::redraw);
}

StatusLine::StatusLine(bool isTerminal, QObject *parent)
    : StatusLine(isTerminal, writeToStandardError, steadyClock(), parent)
{
}

StatusLine::~StatusLine()
{
}

void StatusLine::show(const QString &status, int pages)
{
    if (!m_isTerminal) {
        m_sink(status.toLocal8Bit() + '\n');
        return;
    }
    const qint64 sinceLast = m_now() - m_lastWrite;
    if (!m_written || sinceLast >= MinIntervalMs) {
        writeInPlace(status, pages);
        return;
    }
    m_waiting = true;
    m_waitingStatus = status;
    m_waitingPages = pages;
    if (!m_due.isActive())
        m_due.start(int(MinIntervalMs - sinceLast));
}

void StatusLine::showWaiting()
{
    if (!m_waiting)
        return;
    const qint64 sinceLast = m_now() - m_lastWrite;
    if (sinceLast < MinIntervalMs) {
        m_due.start(int(MinIntervalMs - sinceLast));
        return;
    }
    writeInPlace(m_waitingStatus, m_waitingPages);
}

void StatusLine::redraw()
{
    // Once the line is broken, other text follows it: the next change starts
    // a new one.
    if (!m_written)
        return;
    // A change still waiting is newer than the one shown.
    if (m_waiting)
        writeInPlace(m_waitingStatus, m_waitingPages);
    else
        writeInPlace(m_shownStatus, m_shownPages);
}

void StatusLine::breakLine()
{
    if (m_isTerminal && m_written) {
        m_sink(QByteArrayLiteral("\n"));
        m_written = false;
        m_redraw.stop();
    }
}

void StatusLine::finish(const QString &current, int pages, const QString &last)
{
    if (m_isTerminal) {
        writeInPlace(current, pages);
        breakLine();
    }
    m_sink(last.toLocal8Bit() + '\n');
}

QString StatusLine::figures(qint64 elapsedMs, int pages)
{
    const double seconds = double(elapsedMs) / 1000.0;
    const double rate = elapsedMs > 0 ? double(pages) / seconds : 0.0;
    return u' ' + QString::number(seconds, 'f', 1) + QStringLiteral(" s, ") + QString::number(rate, 'f', 1)
        + QStringLiteral(" pages/s");
}

void StatusLine::writeInPlace(const QString &status, int pages)
{
    m_due.stop();
    m_waiting = false;
    m_lastWrite = m_now();
    m_written = true;
    m_shownStatus = status;
    m_shownPages = pages;
    m_redraw.start();
    m_sink('\r' + (status + figures(m_lastWrite - m_start, pages)).toLocal8Bit() + "\033[K");
}
