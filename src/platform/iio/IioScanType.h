#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// How one element of a buffered scan is stored, as the kernel describes it in
// scan_elements/*_type: "[be|le]:[s|u]bits/storagebits[Xrepeat][>>shift]", for example
// "le:s12/16>>4". Values are `bits` wide, sit `shift` bits up inside a little- or big-endian
// word of `storageBits` (8, 16, 32 or 64), and come `repeat` times in a row.
struct IioScanType {
    bool bigEndian = false;
    bool isSigned = false;
    unsigned bits = 0;         // significant bits, 1..storageBits
    unsigned storageBits = 0;  // 8, 16, 32 or 64
    unsigned repeat = 1;       // values of this element in one scan
    unsigned shift = 0;        // right shift before masking

    // None when `text` is not a scan type; then `error` says why.
    static std::optional<IioScanType> parse(const QByteArray &text, QString *error);

    unsigned storageBytes() const { return storageBits / 8; }
    // Bytes the element takes in a scan, all repeats together; also its alignment.
    unsigned elementBytes() const { return storageBytes() * repeat; }

    // Value number `index` (< repeat) of the element stored at `bytes`: shifted, masked to
    // `bits` and sign-extended when signed.
    int64_t decode(const uint8_t *bytes, unsigned index = 0) const;
};

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
