#pragma once

#include <QString>
#include <QStringList>

// libmseed tells of bad records by printing (ms_log), often while returning success: a Steim
// frame that fails its integrity check still decodes. Its printing is process-wide; the first
// MiniSeedLogCapture routes it here for good: while a capture is alive on a thread, that
// thread's libmseed lines are collected in it (the innermost capture), and any other line goes
// to the system log. Nothing of libmseed's reaches standard error directly. Any thread.
class MiniSeedLogCapture {
public:
    MiniSeedLogCapture();
    ~MiniSeedLogCapture();
    MiniSeedLogCapture(const MiniSeedLogCapture &) = delete;
    MiniSeedLogCapture &operator=(const MiniSeedLogCapture &) = delete;

    // The lines collected since the last take(), escaped for a terminal and joined by "; ";
    // empty when there were none. The capture is emptied.
    QString take();

private:
    static void collect(char *message);
    QStringList mLines;
    MiniSeedLogCapture *mOuter;  // the capture this one hides until it ends; none: the log
};
