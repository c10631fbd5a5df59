#include "recording/MiniSeedLog.h"

#include "platform/PrintableText.h"
#include "platform/SystemLog.h"

#include <libmseed.h>

#include <mutex>

namespace {
thread_local MiniSeedLogCapture *tCapture = nullptr;  // innermost capture of this thread
}  // namespace

MiniSeedLogCapture::MiniSeedLogCapture() : mOuter(tCapture) {
    static std::once_flag installed;
    std::call_once(installed, [] { ms_loginit(collect, nullptr, collect, nullptr); });
    tCapture = this;
}

MiniSeedLogCapture::~MiniSeedLogCapture() { tCapture = mOuter; }

QString MiniSeedLogCapture::take() {
    const QString text = mLines.join(QStringLiteral("; "));
    mLines.clear();
    return text;
}

void MiniSeedLogCapture::collect(char *message) {
    // libmseed ends its lines with a line feed and may quote record bytes in them.
    const QString line = printableText(QByteArray(message).trimmed());
    if (tCapture) {
        tCapture->mLines << line;
    } else {
        SystemLog::log(QStringLiteral("libmseed: %1").arg(line));
    }
}
