#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into received() on the main thread (the handler only writes a byte
// to a socket pair; the event loop does the rest). Whoever owns the loop that runs at that
// moment ends it: the application's, or one nested after it, as the report at a run's end.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received();

private:
    QSocketNotifier *mNotifier = nullptr;
};
