#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a clean QCoreApplication::quit() on the main thread (the
// handler only writes a byte to a socket pair; the event loop does the rest).
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

private:
    QSocketNotifier *mNotifier = nullptr;
};
