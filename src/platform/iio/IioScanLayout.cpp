#include "platform/iio/IioScanLayout.h"

#include <algorithm>

IioScanLayout::IioScanLayout(std::vector<Element> elements) : mElements(std::move(elements)) {
    std::stable_sort(mElements.begin(), mElements.end(),
                     [](const Element &a, const Element &b) { return a.index < b.index; });
    unsigned largest = 1;
    for (Element &element : mElements) {
        const unsigned size = element.type.elementBytes();
        mScanBytes = (mScanBytes + size - 1) / size * size;
        element.offset = mScanBytes;
        mScanBytes += size;
        largest = std::max(largest, size);
    }
    mScanBytes = (mScanBytes + largest - 1) / largest * largest;
}

const IioScanLayout::Element *IioScanLayout::find(const QByteArray &name) const {
    for (const Element &element : mElements) {
        if (element.name == name) {
            return &element;
        }
    }
    return nullptr;
}
