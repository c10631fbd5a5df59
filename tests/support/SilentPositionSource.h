#pragma once

#include <QGeoPositionInfoSource>

// A position source that never delivers a fix. By default it has no positioning methods, like
// Debian's GeoClue source on a machine where GeoClue cannot deliver; give it methods to model a
// receiver that never gets a fix, or an error to report from inside startUpdates().
class SilentPositionSource : public QGeoPositionInfoSource {
public:
    explicit SilentPositionSource(QObject *parent,
                                  PositioningMethods methods = NoPositioningMethods,
                                  Error errorOnStart = NoError)
        : QGeoPositionInfoSource(parent), mMethods(methods), mErrorOnStart(errorOnStart) {}

    QGeoPositionInfo lastKnownPosition(bool = false) const override { return {}; }
    PositioningMethods supportedPositioningMethods() const override { return mMethods; }
    int minimumUpdateInterval() const override { return 100; }
    Error error() const override { return mError; }

    void startUpdates() override {
        ++starts;
        active = true;
        if (mErrorOnStart != NoError) {
            mError = mErrorOnStart;
            emit errorOccurred(mError);
        }
    }
    void stopUpdates() override { active = false; }
    void requestUpdate(int = 0) override {}

    int starts = 0;
    bool active = false;

private:
    PositioningMethods mMethods;
    Error mErrorOnStart;
    Error mError = NoError;
};
