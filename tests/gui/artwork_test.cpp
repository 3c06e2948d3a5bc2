// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTest>
#include <set>
#include <vector>

#include "artwork.h"
#include "gui_tests.h"
#include "ui/ids.h"

namespace nyra::gui::test {

namespace {

// Share of pixels that are not transparent.
double coverage(const QImage& image) {
    int painted = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            painted += qAlpha(image.pixel(x, y)) > 0;
    }
    return static_cast<double>(painted) / (image.width() * image.height());
}

}  // namespace

void ArtworkTest::everyMenuBitmapHasItsOwnGlyph() {
    std::set<int> bitmaps;
    for (const ids::MenuBitmap& entry : ids::kMenuBitmaps) {
        bitmaps.insert(entry.bitmap);
        bitmaps.insert(entry.checkedBitmap);
    }
    QCOMPARE(bitmaps.size(), std::size_t{21});

    std::vector<QImage> images;
    for (int bitmap : bitmaps) {
        QVERIFY2(art::hasMenuGlyph(bitmap), qPrintable(QString::number(bitmap)));
        const QImage image = art::menuGlyph(bitmap, 16);
        QCOMPARE(image.size(), QSize(16, 16));
        QVERIFY2(coverage(image) > 0.12, qPrintable(QString::number(bitmap)));
        QVERIFY2(coverage(image) < 0.95, qPrintable(QString::number(bitmap)));
        for (const QImage& other : images)
            QVERIFY(other != image);
        images.push_back(image);
        QVERIFY(!art::menuIcon(bitmap).isNull());
    }
    QVERIFY(!art::hasMenuGlyph(170));
    QVERIFY(art::menuIcon(170).isNull());
    QCOMPARE(coverage(art::menuGlyph(170, 16)), 0.0);
}

void ArtworkTest::picturesHaveTheirSizesAndDiffer() {
    std::vector<QImage> pinouts;
    for (PinoutPicture which :
         {PinoutPicture::Spi, PinoutPicture::I2c, PinoutPicture::I2cModeWc,
          PinoutPicture::Microwire, PinoutPicture::MicrowireRotated, PinoutPicture::SclSda}) {
        const QImage image = art::pinoutPicture(which).toImage();
        QCOMPARE(image.size(), art::kPinoutSize);
        for (const QImage& other : pinouts)
            QVERIFY(other != image);
        pinouts.push_back(image);
    }
    const QImage inSocket = art::placementPicture(false).toImage();
    const QImage onAdapter = art::placementPicture(true).toImage();
    QCOMPARE(inSocket.size(), art::kPlacementSize);
    QCOMPARE(onAdapter.size(), art::kPlacementSize);
    QVERIFY(inSocket != onAdapter);
    QCOMPARE(art::decorationPicture().size(), art::kDecorationSize);

    const QIcon icon = art::applicationIcon();
    QVERIFY(!icon.isNull());
    for (int size : {16, 32, 64}) {
        QCOMPARE(icon.pixmap(size, size).size(), QSize(size, size));
        QVERIFY(coverage(art::applicationImage(size)) > 0.3);
    }
}

}  // namespace nyra::gui::test
