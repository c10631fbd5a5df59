#include "detection/EventProgram.h"

#include "platform/SystemLog.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

EventProgram::EventProgram(const QString &command, std::chrono::milliseconds timeout,
                           QObject *parent)
    : QObject(parent),
      mCommand(command),
      mArguments(QProcess::splitCommand(command)),
      mTimeout(timeout),
      mTimer(new QTimer(this)) {
    mTimer->setSingleShot(true);
    connect(mTimer, &QTimer::timeout, this, [this] {
        if (mProcess) {
            mKilled = Kill::TimedOut;
            mProcess->kill();
        }
    });
}

EventProgram::~EventProgram() {
    if (mProcess) {
        mProcess->disconnect(this);
        mProcess->kill();
        mProcess->waitForFinished(1000);
    }
}

void EventProgram::log(const QString &what) const {
    SystemLog::log(QStringLiteral("--on-event: %1 %2").arg(mArguments.value(0), what));
}

void EventProgram::run(const QByteArray &input) {
    if (!isValid()) {
        return;
    }
    if (int(mWaiting.size()) >= kQueueLimit) {
        mWaiting.pop_front();
        log(QStringLiteral("is still busy with earlier events; the oldest of %1 waiting is "
                           "dropped")
                .arg(kQueueLimit));
    }
    mWaiting.push_back(input);
    if (!mProcess) {
        startNext();
    }
}

void EventProgram::startNext() {
    if (mWaiting.empty()) {
        return;
    }
    const QByteArray input = mWaiting.front();
    mWaiting.pop_front();
    mKilled = Kill::None;
    mProcess = std::make_unique<QProcess>();
    mProcess->setProgram(mArguments.first());
    mProcess->setArguments(mArguments.mid(1));
    mProcess->setStandardOutputFile(QProcess::nullDevice());
    mProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(mProcess.get(), &QProcess::finished, this, &EventProgram::onFinished);
    connect(mProcess.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            log(QStringLiteral("could not be started: %1").arg(mProcess->errorString()));
            onFinished();
        }
    });
    QProcess *process = mProcess.get();
    process->start();
    // A program that cannot start has been dealt with inside start(), and the next one may
    // be running by now.
    if (mProcess.get() == process && process->state() != QProcess::NotRunning) {
        process->write(input);
        process->closeWriteChannel();
        mTimer->start(mTimeout);
    }
}

void EventProgram::onFinished() {
    if (!mProcess) {
        return;
    }
    mTimer->stop();
    if (mKilled == Kill::TimedOut) {
        log(QStringLiteral("did not end within %1 s; killed").arg(double(mTimeout.count()) / 1000));
    } else if (mKilled == Kill::RunEnded) {
        log(QStringLiteral("was still running when the run ended; killed"));
    } else if (mProcess->error() != QProcess::FailedToStart) {
        if (mProcess->exitStatus() == QProcess::CrashExit) {
            log(QStringLiteral("was ended by a signal"));
        } else if (mProcess->exitCode() != 0) {
            log(QStringLiteral("ended with status %1").arg(mProcess->exitCode()));
        }
    }
    // Not from inside its own signal: the process object goes once the loop is back.
    QProcess *done = mProcess.release();
    done->disconnect(this);
    done->deleteLater();
    startNext();
    emit ended();
}

void EventProgram::finish(std::chrono::milliseconds wait) {
    if (isIdle()) {
        return;
    }
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &EventProgram::ended, &loop, [this, &loop] {
        if (isIdle()) {
            loop.quit();
        }
    });
    deadline.start(wait);
    loop.exec();
    if (!mWaiting.empty()) {
        log(QStringLiteral("was not run for %1 event(s): the run ended").arg(mWaiting.size()));
        mWaiting.clear();
    }
    if (mProcess) {
        mKilled = Kill::RunEnded;
        mProcess->kill();
        mProcess->waitForFinished(1000);  // delivers finished(), and with it onFinished()
        onFinished();
    }
}
