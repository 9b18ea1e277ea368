#pragma once

#include <QByteArray>
#include <QImage>

// Test JPEGs: as Qt's writer makes them, and as libjpeg itself makes them with what Qt's
// writer never does (other samplings than 4:2:0, restart markers).
namespace TestJpeg {

// Qt's writer at quality, baseline or progressive, with its standard Huffman tables.
QByteArray EncodeWithQt(const QImage& picture, int quality, bool bProgressive = false);

struct Options
{
    int quality = 90;
    // Luma sampling, h x v; chroma stays 1 x 1 (2 x 2 is 4:2:0, 1 x 1 is 4:4:4).
    int lumaH = 2;
    int lumaV = 2;
    // A restart marker after every so many rows of blocks; 0 for none.
    int restartRows = 0;
};

QByteArray EncodeWithLibjpeg(const QImage& picture, const Options& options);

} // namespace TestJpeg
