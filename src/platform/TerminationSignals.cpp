#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace {
int signalSockets[2] = {-1, -1};

// The byte written is the signal's number: the reader acts only on those, so that nothing else
// that reaches the socket (a stray write to a reused descriptor) can pass for a signal.
void onSignal(int number) {
    const int saved = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
    errno = saved;
}
}  // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0) {
        return;
    }
    mNotifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, [this] {
        char bytes[64];
        const ssize_t got = ::recv(signalSockets[1], bytes, sizeof bytes, MSG_DONTWAIT);
        for (ssize_t i = 0; i < got; ++i) {
            if (bytes[i] == char(SIGINT) || bytes[i] == char(SIGTERM)) {
                emit received();
                return;
            }
        }
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    if (signalSockets[0] < 0) {
        return;
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}
