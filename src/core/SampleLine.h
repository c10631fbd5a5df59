#pragma once

#include <QByteArray>

// One sample as a line of text: the e-mail export's "x,y,z,[date]" or the live stream's
// "name,time,x,y,z" (the name may itself hold commas). Numbers in the C locale.
namespace SampleLine {

struct Values {
    float x = 0, y = 0, z = 0;
};

// False for anything else (missing fields, numbers that do not parse or do not
// fit a finite float).
bool parse(const QByteArray &line, Values *values);

}  // namespace SampleLine
