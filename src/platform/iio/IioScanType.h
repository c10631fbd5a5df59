#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

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
