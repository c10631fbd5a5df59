// Datagrams of another Shakelog's live stream, as received.
#include "FuzzCheck.h"
#include "stream/UdpReceiveSource.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray datagram(reinterpret_cast<const char *>(data), qsizetype(size));
    SampleLine::Values values;
    if (UdpReceiveSource::parseDatagram(datagram, &values)) {
        FUZZ_CHECK(std::isfinite(values.x) && std::isfinite(values.y) && std::isfinite(values.z));
        FUZZ_CHECK(datagram.endsWith('\n') && datagram.count('\n') == 1);
    }
    return 0;
}
