#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

// The sampling rates a device offers, from its sampling_frequency_available attribute: either a
// list ("12.5 25 50 100") or a range ("[min step max]").
class IioRates {
public:
    // None when `text` is neither; then `error` says why.
    static std::optional<IioRates> parse(const QByteArray &text, QString *error);

    // The smallest offered rate at or above `wanted`, else the highest.
    double choose(double wanted) const;
    double maximum() const;
    // As the kernel wrote it, for display.
    const QString &text() const { return mText; }

private:
    std::vector<double> mList;  // ascending; empty for a range
    double mMin = 0, mStep = 0, mMax = 0;
    QString mText;
};
