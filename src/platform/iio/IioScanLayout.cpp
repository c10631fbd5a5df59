#include "platform/iio/IioScanLayout.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <limits>

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

std::optional<IioScanLayout> IioScanLayout::read(const SysfsAttributes &attributes,
                                                 QString *error) {
    std::vector<Element> elements;
    const QDir scanElements(attributes.path(QStringLiteral("scan_elements")));
    for (const QString &enable : scanElements.entryList({QStringLiteral("*_en")}, QDir::Files)) {
        const QString base = QStringLiteral("scan_elements/") + enable.chopped(3);
        if (attributes.read(base + QLatin1String("_en")).value_or("0") != "1") {
            continue;
        }
        const QString typeName = base + QLatin1String("_type");
        const std::optional<IioScanType> type =
            IioScanType::parse(attributes.read(typeName).value_or(""), error);
        if (!type) {
            *error = QStringLiteral("%1: %2").arg(attributes.path(typeName), *error);
            return std::nullopt;
        }
        const QString indexName = base + QLatin1String("_index");
        error->clear();
        const std::optional<double> index = attributes.readNumber(indexName, error);
        if (!index) {
            if (error->isEmpty()) {
                *error = QStringLiteral("%1 is missing").arg(attributes.path(indexName));
            }
            return std::nullopt;
        }
        if (*index < 0 || *index > std::numeric_limits<int>::max() ||
            *index != std::floor(*index)) {
            *error = QStringLiteral("%1: '%2' is not a scan index")
                         .arg(attributes.path(indexName))
                         .arg(*index);
            return std::nullopt;
        }
        elements.push_back({enable.chopped(3).toLatin1(), int(*index), *type, 0});
    }
    return IioScanLayout(std::move(elements));
}
