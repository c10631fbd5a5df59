#include "ui/ImageCache.h"

ImageCache *ImageCache::sharedCache() {
    static ImageCache *cache = new ImageCache;  // never destroyed, like the process's images
    return cache;
}

QPixmap ImageCache::getImage(const QString &key) {
    if (key.startsWith(QLatin1Char('/'))) {
        prepareImageWithPath(key);
    } else {
        prepareImage(key);
    }
    return mImageDict.value(key);
}

void ImageCache::prepareImage(const QString &name) {
    load(name, QStringLiteral(":/images/") + name);
}

void ImageCache::prepareImageWithPath(const QString &path) { load(path, path); }

void ImageCache::load(const QString &key, const QString &file) {
    if (mImageDict.contains(key)) {
        return;
    }
    QPixmap image;
    if (image.load(file)) {
        mImageDict.insert(key, image);
    }
}
