#pragma once

#include <QByteArray>
#include <QString>

#include <netinet/in.h>

#include <vector>

// The live stream's socket and target: one UDP datagram per sample, one line of text each,
// "name,time,x,y,z\n" with three decimals. The socket is opened once and kept for the life of
// the process. Main thread only.
class SampleStream {
public:
    SampleStream() = default;
    ~SampleStream();
    SampleStream(const SampleStream &) = delete;
    SampleStream &operator=(const SampleStream &) = delete;

    // The datagram of one sample: "%@,%.3f,%1.3f,%1.3f,%1.3f\n" in the C locale, the device
    // name as it is (UTF-8, not escaped), no terminating zero byte.
    static QByteArray datagram(const QString &deviceName, double absTime, double x, double y,
                               double z);

    // Socket set-up: a UDP socket with the broadcast option on, aimed at 255.255.255.255:port.
    // Returns false (socket -1) when no socket can be had.
    bool open(int port);

    // Aims the stream: the broadcast address, or `ip` (dotted IPv4, inet_aton forms) at `port`.
    // In broadcast mode the port stays as it was. An address that does not parse and a port
    // outside 1…65535 are refused with a log line: the target keeps its last valid values.
    void bind(bool broadcast, const QString &ip, int port);

    // Sends one datagram; a failure is logged ("Socket error %d udp %d") and dropped. Nothing
    // is sent while the target has no valid port, nor to the broadcast address unless
    // broadcast is on.
    void send(const QByteArray &datagram);
    // The same for the datagram of one sample (`deviceName` in UTF-8), made in a buffer kept
    // between samples: a steady stream allocates nothing.
    void sendSample(const QByteArray &deviceName, double absTime, double x, double y, double z);

    int udpSocket() const { return mSocket; }
    const sockaddr_in &targetAddress() const { return mTarget; }
    // The socket's SO_BROADCAST option as the system reports it.
    bool broadcastOption() const;

private:
    bool setPort(int port);
    void sendBytes(const char *bytes, size_t length);

    int mSocket = -1;
    sockaddr_in mTarget{};    // where every datagram goes; port 0 while none is valid
    bool mBroadcast = true;   // as open() aims it, until bind() says otherwise
    std::vector<char> mLine;  // where sendSample() writes; grown, never shrunk
};
