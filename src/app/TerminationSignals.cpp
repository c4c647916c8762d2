#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

// Runs in signal context: only hands the signal's number to the event loop.
// The write never blocks: signals that come faster than the event loop reads
// them, or once it has stopped reading, would otherwise fill the socket and
// hang the program in here.
void onSignal(int signalNumber)
{
    const auto byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

TerminationSignals::TerminationSignals(std::initializer_list<int> signalNumbers, QObject *parent)
    : QObject(parent)
{
    if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onReadable);
    for (const int signalNumber : signalNumbers) {
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        if (::sigaction(signalNumber, &action, nullptr) == 0)
            m_signals.append(signalNumber);
    }
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    // The program is ending: a later request to end changes nothing.
    for (const int signalNumber : std::as_const(m_signals))
        std::signal(signalNumber, SIG_IGN);
    // The notifier goes before the socket it watches is closed.
    delete m_notifier;
    m_notifier = nullptr;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void TerminationSignals::onReadable()
{
    unsigned char byte = 0;
    if (::read(signalPipe[0], &byte, 1) == 1)
        Q_EMIT received(byte);
}
