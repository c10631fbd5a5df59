// Samples per second through the whole road of one sample with the live stream on (history,
// read-back, notification, device name, datagram text, sendto to a loopback receiver), beside
// a bare loop of sendto of the same lines: the limit the system call sets.
#include "app/AppDelegate.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "stream/SampleStream.h"
#include "support/Loopback.h"

#include <QTemporaryDir>

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace {

// A loopback UDP port that a thread drains, so that the sender never meets a full buffer.
class Sink {
public:
    Sink() {
        mSocket = bindLoopback(SOCK_DGRAM, &mPort);
        mThread = std::thread([this] {
            char buffer[256];
            while (::recv(mSocket, buffer, sizeof buffer, 0) > 0) {
            }
        });
    }
    ~Sink() {
        ::shutdown(mSocket, SHUT_RDWR);  // recv returns 0: the thread ends
        mThread.join();
        ::close(mSocket);
    }
    int port() const { return mPort; }

private:
    int mSocket;
    int mPort;
    std::thread mThread;
};

void BM_sampleRoadWithStreamOn(benchmark::State &state) {
    using namespace SettingsKeys;
    Sink sink;
    QTemporaryDir config;
    UserPref::useDirectory(config.path());
    UserPref::setString(IP, "127.0.0.1");
    UserPref::setInt(PORT, sink.port());
    AppDelegate delegate(nullptr, false);
    delegate.setStreamOverride({false, "127.0.0.1", sink.port()});
    delegate.applicationDidFinishLaunching();
    delegate.applicationDidBecomeActive();
    unsigned n = 0;
    for (auto _ : state) {
        ++n;
        delegate.processAcceleration({0.001 * (n % 100), -0.5, 0.25, n * 0.01});
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_sampleRoadWithStreamOn);

void BM_reference_bareSendto(benchmark::State &state) {
    Sink sink;
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    target.sin_port = htons(quint16(sink.port()));
    const QByteArray line = SampleStream::datagram("1", 12345.679, 0.012, -0.988, 0.5);
    for (auto _ : state) {
        benchmark::DoNotOptimize(::sendto(fd, line.constData(), size_t(line.size()), 0,
                                          reinterpret_cast<const sockaddr *>(&target),
                                          sizeof target));
    }
    ::close(fd);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_reference_bareSendto);

}  // namespace
