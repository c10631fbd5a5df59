#include "platform/iio/IioRates.h"

#include "platform/PrintableText.h"

#include <algorithm>
#include <cmath>

std::optional<IioRates> IioRates::parse(const QByteArray &text, QString *error) {
    IioRates rates;
    QByteArray body = text.trimmed();
    rates.mText = printableText(body);
    const bool range = body.startsWith('[') && body.endsWith(']');
    if (range) {
        body = body.mid(1, body.size() - 2);
    }
    std::vector<double> values;
    for (const QByteArray &word : body.simplified().split(' ')) {
        bool ok = false;
        const double value = word.toDouble(&ok);
        if (!ok || !std::isfinite(value) || value < 0) {
            values.clear();
            break;
        }
        values.push_back(value);
    }
    if (range) {
        if (values.size() != 3 || values[0] > values[2] || values[1] <= 0 || values[2] <= 0) {
            *error = QStringLiteral("'%1' is not a rate range such as [1 1 200]").arg(rates.mText);
            return std::nullopt;
        }
        rates.mMin = values[0];
        rates.mStep = values[1];
        rates.mMax = values[2];
        return rates;
    }
    if (values.empty()) {
        *error = QStringLiteral("'%1' is not a list of rates such as 25 50 100").arg(rates.mText);
        return std::nullopt;
    }
    // A rate of 0 (offered by some drivers: "off") is never one to record at.
    std::erase(values, 0.0);
    if (values.empty()) {
        *error = QStringLiteral("'%1' offers no rate above 0").arg(rates.mText);
        return std::nullopt;
    }
    std::sort(values.begin(), values.end());
    rates.mList = std::move(values);
    return rates;
}

double IioRates::choose(double wanted) const {
    if (mList.empty()) {
        if (wanted <= mMin) {
            return mMin;
        }
        // A small tolerance keeps 100 from becoming 100 + step through rounding.
        const double steps = std::ceil((wanted - mMin) / mStep - 1e-9);
        return std::min(mMax, mMin + steps * mStep);
    }
    const auto it = std::lower_bound(mList.begin(), mList.end(), wanted - 1e-9);
    return it == mList.end() ? mList.back() : *it;
}

double IioRates::maximum() const { return mList.empty() ? mMax : mList.back(); }
