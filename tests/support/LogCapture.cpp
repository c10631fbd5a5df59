#include "support/LogCapture.h"

#include "platform/SystemLog.h"

LogCapture::LogCapture() {
    SystemLog::setSink([this](const QString &line) { mLines.append(line); });
}

LogCapture::~LogCapture() { SystemLog::setSink({}); }
