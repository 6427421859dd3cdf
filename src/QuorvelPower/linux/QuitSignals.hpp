#pragma once

namespace QuorvelPower {

// SIGTERM (a session logging out), SIGINT and SIGHUP as a descriptor the event loop reads,
// so each ends the program through its ordinary quit path. Made before any thread starts:
// the signals are blocked in this thread and every thread it starts.
class QuitSignals {
public:
    QuitSignals();
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

    int descriptor() const { return fd_; }
    // Reads what arrived; the signal's number, or 0 when nothing did.
    int take();

private:
    int fd_ = -1;
};

} // namespace QuorvelPower
