#include "ui/ImageCache.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(ImageCache, LoadsOnceAndTellsPathsFromResourceNames) {
    ImageCache cache;
    const QPixmap first = cache.getImage("pause.png");
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(cache.getImage("pause.png").cacheKey(), first.cacheKey());  // the same image
    EXPECT_EQ(cache.imageDict().size(), 1);

    QTemporaryDir dir;
    const QString path = dir.filePath("dot.png");
    QImage dot(3, 2, QImage::Format_ARGB32);
    dot.fill(Qt::red);
    ASSERT_TRUE(dot.save(path));
    EXPECT_EQ(cache.getImage(path).size(), QSize(3, 2));  // "/...": a file
    EXPECT_TRUE(cache.getImage("dot.png").isNull());      // a name: only among the resources

    cache.clearCache();
    EXPECT_TRUE(cache.imageDict().isEmpty());
    EXPECT_FALSE(cache.getImage("pause.png").isNull());  // loaded again
    EXPECT_EQ(cache.imageDict().size(), 1);
}

TEST(ImageCache, AMissingImageLeavesNoEntryAndIsTriedAgain) {
    ImageCache cache;
    QTemporaryDir dir;
    const QString path = dir.filePath("later.png");
    EXPECT_TRUE(cache.getImage(path).isNull());
    EXPECT_FALSE(cache.imageDict().contains(path));
    QImage(4, 4, QImage::Format_RGB32).save(path);
    EXPECT_FALSE(cache.getImage(path).isNull());
    // The shared cache is one for every caller: what one loads, the next finds.
    ImageCache::sharedCache()->getImage(path);
    EXPECT_TRUE(ImageCache::sharedCache()->imageDict().contains(path));
}

}  // namespace
