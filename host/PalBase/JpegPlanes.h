#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>

class JpegSymbolCounts;
enum class JpegHuffman;

// A colour JPEG's picture as libjpeg holds it between its entropy coding and its colour
// conversion: the luma plane at full size and the two chroma planes at half width and half
// height (4:2:0), padded to whole blocks, 1.5 bytes a pixel. Decoding stops there and encoding
// starts there, so a re-encode converts no colours and resamples no chroma.
//
// Encodes have optimised Huffman tables. For a large picture they are not made by libjpeg's
// own optimisation, which holds all the picture's coefficients (2 bytes a pixel) until the
// tables are known, but counted from a first encode with the standard tables
// (JpegSymbolCounts): the same file, in about the same time, with no more memory than a
// plain encode.
//
// libjpeg's errors come back as failures, never as an exit of the process. Any thread; one
// object is not shared between threads.
class JpegPlanes
{
public:
    // How an encode's optimised tables are made.
    enum class Tables {
        Optimised, // by libjpeg, over a buffer of all the picture's coefficients
        Counted,   // from a first encode with the standard tables
    };

    // The file's picture when it is a 4:2:0 YCbCr JPEG (what cameras and most writers make),
    // baseline or progressive; null for any other file, when the memory cannot be had, or when
    // the data is broken beyond what the decoder tolerates (it fills in a picture cut short,
    // as Qt's decoder does). The caller bounds the picture's size beforehand.
    static std::unique_ptr<JpegPlanes> Decode(const QByteArray& file);

    ~JpegPlanes();

    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // The picture as a baseline JPEG at quality (1..100, libjpeg's standard tables, as Qt's
    // writer scales them) with optimised Huffman tables, counted above a few megapixels.
    // Empty on failure.
    QByteArray Encode(int quality) const;
    QByteArray Encode(int quality, Tables tables) const;

    // A picture of every step-th band of 16 rows (one row of the picture's 16 x 16 blocks),
    // for a size estimate: its blocks are the picture's own. Null when memory is short.
    std::unique_ptr<JpegPlanes> Bands(int step) const;
    // The picture's first 16 x 16 block, or less when the picture is smaller.
    std::unique_ptr<JpegPlanes> Corner() const;

private:
    static constexpr int kComponents = 3;
    static constexpr int kBandRows = 16;

    JpegPlanes() = default;
    // Allocates planes for a width x height picture, uninitialised; false when memory is short.
    bool Allocate(int width, int height);
    int BandCount() const { return (m_height + kBandRows - 1) / kBandRows; }
    // A band is 16 rows of luma and 8 of each chroma plane.
    static int BandRows(int component) { return component == 0 ? kBandRows : kBandRows / 2; }
    unsigned char* Row(int component, int row) const;
    int Stride(int component) const { return m_strides[component]; }
    // The row pointers of a band, as libjpeg's raw data calls take them.
    struct RowPointers;
    void Point(int band, RowPointers* rows) const;
    // counts: the tables when huffman is JpegHuffman::Counted.
    QByteArray EncodeWith(int quality, JpegHuffman huffman, const JpegSymbolCounts* counts) const;

    int m_width = 0;
    int m_height = 0;
    int m_strides[kComponents] = {};
    int m_rows[kComponents] = {};
    std::unique_ptr<unsigned char[]> m_planes[kComponents];
};
