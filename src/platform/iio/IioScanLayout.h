#pragma once

#include "platform/iio/IioScanType.h"

#include <QByteArray>

#include <vector>

// Where each enabled element lies in one scan. Elements are laid out in the order of their
// scan index, each aligned to its own size; the scan's size is a multiple of its largest
// element, so a 64-bit time stamp after three 16-bit values starts at byte 8 and the scan
// takes 16 bytes.
class IioScanLayout {
public:
    struct Element {
        QByteArray name;  // "in_accel_x", "in_timestamp"
        int index = 0;    // scan index: the order in the scan
        IioScanType type;
        unsigned offset = 0;  // first byte within the scan, set by the layout
    };

    explicit IioScanLayout(std::vector<Element> elements);

    unsigned scanBytes() const { return mScanBytes; }
    // None when the layout has no element of that name.
    const Element *find(const QByteArray &name) const;
    const std::vector<Element> &elements() const { return mElements; }

private:
    std::vector<Element> mElements;  // ordered by scan index
    unsigned mScanBytes = 0;
};
