#pragma once

#include <QHash>
#include <QPixmap>
#include <QString>

// The process-wide cache of images, loaded once and kept until clearCache(). A key starting
// with "/" is an absolute file path; any other key is a resource name under ":/images/".
// A key is present only once its image loaded; a failed load is tried again at the next
// request. Main thread only.
class ImageCache {
public:
    static ImageCache *sharedCache();
    ImageCache() = default;  // tests make caches of their own

    // The cached image, loading it on first request; a null pixmap when it cannot be loaded.
    QPixmap getImage(const QString &key);
    void prepareImage(const QString &name);
    void prepareImageWithPath(const QString &path);
    void clearCache() { mImageDict.clear(); }

    const QHash<QString, QPixmap> &imageDict() const { return mImageDict; }

private:
    void load(const QString &key, const QString &file);

    QHash<QString, QPixmap> mImageDict;
};
