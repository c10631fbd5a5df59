#pragma once

#include "platform/iio/IioScanType.h"
#include "platform/iio/SysfsAttributes.h"

#include <QByteArray>
#include <QString>

#include <optional>
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
    // The layout of a device's scans: every enabled element in its scan_elements folder, ours
    // and any that another program left on. None when an element's type or index is missing
    // or malformed; then `error` names the file.
    static std::optional<IioScanLayout> read(const SysfsAttributes &attributes, QString *error);

    unsigned scanBytes() const { return mScanBytes; }
    // None when the layout has no element of that name.
    const Element *find(const QByteArray &name) const;
    const std::vector<Element> &elements() const { return mElements; }

private:
    std::vector<Element> mElements;  // ordered by scan index
    unsigned mScanBytes = 0;
};
