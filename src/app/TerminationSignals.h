#pragma once

#include <QObject>

#include <initializer_list>

class QSocketNotifier;

// Hands the signals that ask a program to end (Ctrl-C, SIGTERM, SIGHUP) to the
// event loop as a Qt signal, so the program ends on its normal path: reads
// cancelled, temporary files removed. One instance at a time, made before and
// gone after everything it protects. Once it goes the program is ending, so
// the signals are ignored from then on: a second one (a user who presses
// Ctrl-C again, `timeout` or a service manager that signals the process and
// then its group) cannot cut the cleanup short or change the exit code.
class TerminationSignals final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminationSignals)

public:
    explicit TerminationSignals(std::initializer_list<int> signalNumbers, QObject *parent = nullptr);
    ~TerminationSignals() override;

    bool isWatching() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void received(int signalNumber);

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
    QList<int> m_signals;
};
