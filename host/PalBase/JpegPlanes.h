#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>

// A colour JPEG's picture as libjpeg holds it between its entropy coding and its colour
// conversion: the luma plane at full size and the two chroma planes at half width and half
// height (4:2:0), padded to whole blocks. Decoding stops there and encoding starts there, so a
// re-encode converts no colours and resamples no chroma.
//
// A file of a single scan (baseline, as cameras write) is not held decoded at all: each encode
// decodes it again, 16 rows at a time, straight into the encoder, so that beside the file only
// the encoder's buffers are alive. A file of several scans (progressive) has its planes held,
// 1.5 bytes a pixel, since its decoder needs the whole picture's coefficients anyway.
//
// libjpeg's errors come back as failures, never as an exit of the process. Any thread; one
// object is not shared between threads.
class JpegPlanes
{
public:
    // The file's picture when it is a 4:2:0 YCbCr JPEG (what cameras and most writers make);
    // null for any other file, when the memory cannot be had, or when the data is broken
    // beyond what the decoder tolerates (it fills in a picture cut short, as Qt's decoder
    // does). A single-scan file is only checked as far as its header here: broken data shows
    // as failing encodes. The caller bounds the picture's size beforehand.
    static std::unique_ptr<JpegPlanes> Decode(const QByteArray& file);

    ~JpegPlanes();

    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // The picture as a baseline JPEG at quality (1..100, libjpeg's standard tables, as Qt's
    // writer scales them) with optimised Huffman tables. Empty on failure.
    QByteArray Encode(int quality) const;

    // A picture of every step-th band of 16 rows (one row of the picture's 16 x 16 blocks),
    // held in memory, for a size estimate: its blocks are the picture's own. Null on failure.
    std::unique_ptr<JpegPlanes> Bands(int step) const;
    // The picture's first 16 x 16 block, or less when the picture is smaller, held in memory.
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
    // Hands the first bands of the picture in turn to visit(band, holder, index): holder has
    // the band at index, which is this picture when its planes are held, or a buffer of one
    // band, decoded from the file, when streamed. False when decoding or visit failed.
    template <typename Visit>
    bool ForEachBand(int bands, Visit visit) const;

    int m_width = 0;
    int m_height = 0;
    // A single-scan file, decoded again for each pass; empty when the planes are held.
    QByteArray m_file;
    int m_strides[kComponents] = {};
    int m_rows[kComponents] = {};
    std::unique_ptr<unsigned char[]> m_planes[kComponents];
};
