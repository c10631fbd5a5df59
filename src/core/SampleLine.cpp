#include "core/SampleLine.h"

#include <QList>

#include <cmath>

namespace {
bool parseNumber(const QByteArray &field, float *out) {
    bool ok = false;
    const double value = field.trimmed().toDouble(&ok);  // C locale, whatever the user's
    // Checked as a float: 1e39 is a finite double but an infinite float, and one infinite
    // sample leaves the filter inf or nan for the rest of the run.
    const float narrowed = float(value);
    if (!ok || !std::isfinite(narrowed)) {
        return false;
    }
    *out = narrowed;
    return true;
}
}  // namespace

namespace SampleLine {

bool parse(const QByteArray &line, Values *values) {
    const QList<QByteArray> fields = line.trimmed().split(',');
    qsizetype first;
    if (fields.size() == 3 || fields.size() == 4) {
        first = 0;  // x,y,z[,date]
    } else if (fields.size() >= 5) {
        float time;
        if (!parseNumber(fields[fields.size() - 4], &time)) {
            return false;
        }
        first = fields.size() - 3;  // name,time,x,y,z, counted from the end
    } else {
        return false;
    }
    return parseNumber(fields[first], &values->x) && parseNumber(fields[first + 1], &values->y) &&
           parseNumber(fields[first + 2], &values->z);
}

}  // namespace SampleLine
