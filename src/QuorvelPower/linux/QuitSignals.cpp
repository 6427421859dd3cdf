#include <QuorvelPower/linux/QuitSignals.hpp>
#include <csignal>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace QuorvelPower {

namespace {

sigset_t quitSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

} // namespace

QuitSignals::QuitSignals() {
    const sigset_t set = quitSet();
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
    fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    // Without a descriptor the signals would be held forever: let them end the program
    // the plain way instead.
    if (fd_ < 0) ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

QuitSignals::~QuitSignals() {
    if (fd_ >= 0) ::close(fd_);
}

int QuitSignals::take() {
    signalfd_siginfo info{};
    int last = 0;
    while (::read(fd_, &info, sizeof info) == ssize_t(sizeof info))
        last = int(info.ssi_signo);
    return last;
}

} // namespace QuorvelPower
