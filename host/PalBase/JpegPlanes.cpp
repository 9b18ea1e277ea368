#include "JpegPlanes.h"

#include "JpegSymbolCounts.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

// jpeglib.h expects FILE and size_t to be declared before it.
#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

// How an encode makes its Huffman tables.
enum class JpegHuffman {
    Standard,  // libjpeg's standard tables, in one pass
    Optimised, // libjpeg's own optimisation, over a buffer of all the picture's coefficients
    Counted,   // given tables, counted from a standard encode of the same picture and quality
};

namespace {

// libjpeg reports a fatal error by calling error_exit, which by default ends the process. Here
// it jumps back to the libjpeg call that failed, each of which is made right after a setjmp
// in a function with nothing to destroy in between.
struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void JumpBack(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Warnings (a file cut short, a bad marker) are tolerated as Qt's decoder tolerates them; they
// are not printed on the host's console.
void Ignore(j_common_ptr)
{}

void InstallErrorManager(jpeg_common_struct* info, ErrorManager* errors)
{
    info->err = jpeg_std_error(&errors->pub);
    errors->pub.error_exit = JumpBack;
    errors->pub.output_message = Ignore;
}

class Decompressor
{
public:
    Decompressor()
    {
        InstallErrorManager(reinterpret_cast<jpeg_common_struct*>(&m_info), &m_errors);
    }
    ~Decompressor()
    {
        if (m_bCreated)
            jpeg_destroy_decompress(&m_info);
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    // Reads the header; false unless the file holds a 4:2:0 colour picture.
    bool Open(const QByteArray& file)
    {
        if (setjmp(m_errors.jump))
            return false;
        jpeg_create_decompress(&m_info);
        m_bCreated = true;
        jpeg_mem_src(&m_info, reinterpret_cast<const unsigned char*>(file.constData()),
                     static_cast<unsigned long>(file.size()));
        if (jpeg_read_header(&m_info, TRUE) != JPEG_HEADER_OK)
            return false;
        return IsYcc420();
    }

    bool Start()
    {
        if (setjmp(m_errors.jump))
            return false;
        m_info.raw_data_out = TRUE;
        m_info.dct_method = JDCT_ISLOW;
        return jpeg_start_decompress(&m_info);
    }

    bool ReadBand(JSAMPIMAGE planes)
    {
        if (setjmp(m_errors.jump))
            return false;
        return jpeg_read_raw_data(&m_info, planes, 16) > 0;
    }

    bool Finish()
    {
        if (setjmp(m_errors.jump))
            return false;
        return jpeg_finish_decompress(&m_info);
    }

    int Width() const { return int(m_info.image_width); }
    int Height() const { return int(m_info.image_height); }

private:
    // The sampling the planes hold: luma at 2 x 2, each chroma component at 1 x 1.
    bool IsYcc420() const
    {
        if (m_info.num_components != 3 || m_info.jpeg_color_space != JCS_YCbCr ||
            m_info.data_precision != 8)
            return false;
        const jpeg_component_info* components = m_info.comp_info;
        return components[0].h_samp_factor == 2 && components[0].v_samp_factor == 2 &&
               components[1].h_samp_factor == 1 && components[1].v_samp_factor == 1 &&
               components[2].h_samp_factor == 1 && components[2].v_samp_factor == 1;
    }

    jpeg_decompress_struct m_info{};
    ErrorManager m_errors{};
    bool m_bCreated = false;
};

// Collects the encoder's output in a QByteArray that starts at about the expected size, so
// that a typical copy is written without reallocating and handed out without copying.
struct Destination
{
    jpeg_destination_mgr pub;
    QByteArray bytes;
    int initialSize = 0;
};

Destination* DestinationOf(j_compress_ptr info)
{
    return static_cast<Destination*>(info->client_data);
}

// Exceptions must not pass through libjpeg's C frames: a failure leaves by its error path.
void ResizeOrFail(j_compress_ptr info, QByteArray& bytes, qint64 size)
{
    bool bResized = size <= std::numeric_limits<int>::max();
    try {
        if (bResized)
            bytes.resize(int(size));
    } catch (...) {
        bResized = false;
    }
    if (!bResized)
        ERREXIT(info, JERR_OUT_OF_MEMORY);
}

void StartDestination(j_compress_ptr info)
{
    Destination* destination = DestinationOf(info);
    ResizeOrFail(info, destination->bytes, destination->initialSize);
    destination->pub.next_output_byte = reinterpret_cast<JOCTET*>(destination->bytes.data());
    destination->pub.free_in_buffer = size_t(destination->bytes.size());
}

boolean GrowDestination(j_compress_ptr info)
{
    Destination* destination = DestinationOf(info);
    const int used = destination->bytes.size();
    ResizeOrFail(info, destination->bytes, qint64(used) * 2);
    destination->pub.next_output_byte = reinterpret_cast<JOCTET*>(destination->bytes.data()) + used;
    destination->pub.free_in_buffer = size_t(destination->bytes.size() - used);
    return TRUE;
}

void EndDestination(j_compress_ptr info)
{
    Destination* destination = DestinationOf(info);
    destination->bytes.truncate(destination->bytes.size() - int(destination->pub.free_in_buffer));
}

class Compressor
{
public:
    Compressor()
    {
        InstallErrorManager(reinterpret_cast<jpeg_common_struct*>(&m_info), &m_errors);
        m_destination.pub.init_destination = StartDestination;
        m_destination.pub.empty_output_buffer = GrowDestination;
        m_destination.pub.term_destination = EndDestination;
    }
    ~Compressor()
    {
        if (m_bCreated)
            jpeg_destroy_compress(&m_info);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    // counts: the tables for JpegHuffman::Counted.
    bool Start(int width, int height, int quality, JpegHuffman huffman,
               const JpegSymbolCounts* counts = nullptr)
    {
        // An eighth of a byte a pixel holds most copies at the qualities that fit.
        m_destination.initialSize =
            int(qBound(qint64(65536), qint64(width) * height / 8, qint64(4 * 1024 * 1024)));
        if (setjmp(m_errors.jump))
            return false;
        jpeg_create_compress(&m_info);
        m_bCreated = true;
        m_info.client_data = &m_destination;
        m_info.dest = &m_destination.pub;
        m_info.image_width = JDIMENSION(width);
        m_info.image_height = JDIMENSION(height);
        m_info.input_components = 3;
        m_info.in_color_space = JCS_YCbCr;
        // The defaults for YCbCr are the planes' own 4:2:0 sampling, a JFIF header, and DC and
        // AC tables 0 for luma, 1 for chroma.
        jpeg_set_defaults(&m_info);
        jpeg_set_quality(&m_info, quality, TRUE);
        m_info.raw_data_in = TRUE;
        m_info.dct_method = JDCT_ISLOW;
        m_info.optimize_coding = huffman == JpegHuffman::Optimised;
        if (huffman == JpegHuffman::Counted) {
            for (int index = 0; index < 2; ++index) {
                SetTable(m_info.dc_huff_tbl_ptrs[index], counts->Optimal(false, index));
                SetTable(m_info.ac_huff_tbl_ptrs[index], counts->Optimal(true, index));
            }
        }
        jpeg_start_compress(&m_info, TRUE);
        return true;
    }

    bool WriteBand(JSAMPIMAGE planes)
    {
        if (setjmp(m_errors.jump))
            return false;
        return jpeg_write_raw_data(&m_info, planes, 16) > 0;
    }

    bool Finish()
    {
        if (setjmp(m_errors.jump))
            return false;
        jpeg_finish_compress(&m_info);
        return true;
    }

    // The encoded file, once finished; the compressor keeps nothing of it.
    QByteArray TakeBytes() { return std::move(m_destination.bytes); }

private:
    static void SetTable(JHUFF_TBL* target, const JpegSymbolCounts::Table& table)
    {
        std::memcpy(target->bits, table.bits, sizeof(target->bits));
        std::memcpy(target->huffval, table.values, sizeof(target->huffval));
        target->sent_table = FALSE;
    }

    jpeg_compress_struct m_info{};
    ErrorManager m_errors{};
    Destination m_destination{};
    bool m_bCreated = false;
};

} // namespace

struct JpegPlanes::RowPointers
{
    JSAMPROW luma[16];
    JSAMPROW blue[8];
    JSAMPROW red[8];
    JSAMPARRAY planes[3] = {luma, blue, red};
};

std::unique_ptr<JpegPlanes> JpegPlanes::Decode(const QByteArray& file)
{
    Decompressor decompressor;
    if (!decompressor.Open(file))
        return nullptr;
    std::unique_ptr<JpegPlanes> picture(new JpegPlanes);
    if (!picture->Allocate(decompressor.Width(), decompressor.Height()) || !decompressor.Start())
        return nullptr;
    RowPointers rows;
    for (int band = 0; band < picture->BandCount(); ++band) {
        picture->Point(band, &rows);
        if (!decompressor.ReadBand(rows.planes))
            return nullptr;
    }
    if (!decompressor.Finish())
        return nullptr;
    return picture;
}

JpegPlanes::~JpegPlanes() = default;

QByteArray JpegPlanes::Encode(int quality) const
{
    // libjpeg's own optimisation holds 2 bytes per pixel of coefficients (34 MiB at 12
    // megapixels) beside the planes; above a few megapixels the tables are counted instead.
    constexpr qint64 kOptimisedPixels = 2 * 1024 * 1024;
    return Encode(quality, qint64(m_width) * m_height > kOptimisedPixels ? Tables::Counted
                                                                         : Tables::Optimised);
}

QByteArray JpegPlanes::Encode(int quality, Tables tables) const
{
    if (tables == Tables::Optimised)
        return EncodeWith(quality, JpegHuffman::Optimised, nullptr);
    // The symbols depend on the quality, not on the tables: those of a standard encode give
    // the tables libjpeg's optimisation would, without its buffer of the picture.
    const QByteArray standard = EncodeWith(quality, JpegHuffman::Standard, nullptr);
    if (standard.isEmpty())
        return QByteArray();
    JpegSymbolCounts counts;
    // Never expected to fail on libjpeg's own file; libjpeg's optimisation is the way back.
    if (!counts.Count(standard))
        return EncodeWith(quality, JpegHuffman::Optimised, nullptr);
    return EncodeWith(quality, JpegHuffman::Counted, &counts);
}

QByteArray JpegPlanes::EncodeWith(int quality, JpegHuffman huffman,
                                  const JpegSymbolCounts* counts) const
{
    Compressor compressor;
    if (!compressor.Start(m_width, m_height, quality, huffman, counts))
        return QByteArray();
    RowPointers rows;
    for (int band = 0; band < BandCount(); ++band) {
        Point(band, &rows);
        if (!compressor.WriteBand(rows.planes))
            return QByteArray();
    }
    if (!compressor.Finish())
        return QByteArray();
    return compressor.TakeBytes();
}

std::unique_ptr<JpegPlanes> JpegPlanes::Bands(int step) const
{
    int height = 0;
    for (int band = 0; band < BandCount(); band += step)
        height += qMin(kBandRows, m_height - band * kBandRows);
    std::unique_ptr<JpegPlanes> sample(new JpegPlanes);
    if (!sample->Allocate(m_width, height))
        return nullptr;
    int target = 0;
    for (int band = 0; band < BandCount(); band += step, ++target) {
        // Whole bands, their padding included: the sample's blocks are the picture's own.
        for (int component = 0; component < kComponents; ++component) {
            const int rows = BandRows(component);
            std::memcpy(sample->Row(component, target * rows), Row(component, band * rows),
                        size_t(Stride(component)) * size_t(rows));
        }
    }
    return sample;
}

std::unique_ptr<JpegPlanes> JpegPlanes::Corner() const
{
    std::unique_ptr<JpegPlanes> corner(new JpegPlanes);
    if (!corner->Allocate(qMin(m_width, kBandRows), qMin(m_height, kBandRows)))
        return nullptr;
    for (int component = 0; component < kComponents; ++component) {
        for (int row = 0; row < corner->m_rows[component]; ++row)
            std::memcpy(corner->Row(component, row), Row(component, row),
                        size_t(corner->Stride(component)));
    }
    return corner;
}

bool JpegPlanes::Allocate(int width, int height)
{
    m_width = width;
    m_height = height;
    // Whole 16 x 16 blocks: libjpeg's raw data calls take a full band of rows at a time, also
    // at the picture's right and bottom edges.
    const int columns = (width + kBandRows - 1) / kBandRows;
    for (int component = 0; component < kComponents; ++component) {
        m_strides[component] = columns * BandRows(component);
        m_rows[component] = BandCount() * BandRows(component);
        // Not zeroed: the decoder writes every byte the encoder reads.
        m_planes[component].reset(new (
            std::nothrow) unsigned char[size_t(m_strides[component]) * size_t(m_rows[component])]);
        if (!m_planes[component])
            return false;
    }
    return true;
}

unsigned char* JpegPlanes::Row(int component, int row) const
{
    return m_planes[component].get() + size_t(row) * size_t(m_strides[component]);
}

void JpegPlanes::Point(int band, RowPointers* rows) const
{
    for (int i = 0; i < kBandRows; ++i)
        rows->luma[i] = Row(0, band * kBandRows + i);
    for (int i = 0; i < kBandRows / 2; ++i) {
        rows->blue[i] = Row(1, band * kBandRows / 2 + i);
        rows->red[i] = Row(2, band * kBandRows / 2 + i);
    }
}
