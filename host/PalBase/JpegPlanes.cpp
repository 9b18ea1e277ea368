#include "JpegPlanes.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// jpeglib.h expects FILE and size_t to be declared before it.
#include <jpeglib.h>

namespace {

// libjpeg reports a fatal error by calling error_exit, which by default ends the process. Here
// it jumps back to the call that started the work instead; between that call's setjmp and the
// jump only libjpeg's C frames and frames without destructors may run.
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
void Ignore(j_common_ptr) {}

void InstallErrorManager(jpeg_common_struct* info, ErrorManager* errors)
{
    info->err = jpeg_std_error(&errors->pub);
    errors->pub.error_exit = JumpBack;
    errors->pub.output_message = Ignore;
}

// The sampling the planes hold: luma at 2 x 2, each chroma component at 1 x 1.
bool IsYcc420(const jpeg_decompress_struct& info)
{
    if (info.num_components != 3 || info.jpeg_color_space != JCS_YCbCr ||
        info.data_precision != 8)
        return false;
    const jpeg_component_info* components = info.comp_info;
    return components[0].h_samp_factor == 2 && components[0].v_samp_factor == 2 &&
           components[1].h_samp_factor == 1 && components[1].v_samp_factor == 1 &&
           components[2].h_samp_factor == 1 && components[2].v_samp_factor == 1;
}

class Decompressor
{
public:
    Decompressor() { InstallErrorManager(reinterpret_cast<jpeg_common_struct*>(&m_info), &m_errors); }
    ~Decompressor()
    {
        if (m_bCreated)
            jpeg_destroy_decompress(&m_info);
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    bool ReadHeader(const QByteArray& file)
    {
        if (setjmp(m_errors.jump))
            return false;
        jpeg_create_decompress(&m_info);
        m_bCreated = true;
        jpeg_mem_src(&m_info, reinterpret_cast<const unsigned char*>(file.constData()),
                     static_cast<unsigned long>(file.size()));
        return jpeg_read_header(&m_info, TRUE) == JPEG_HEADER_OK;
    }

    // rows(component, row) gives each plane's row pointers.
    template <typename Rows>
    bool ReadRows(const Rows& rows)
    {
        if (setjmp(m_errors.jump))
            return false;
        m_info.raw_data_out = TRUE;
        m_info.dct_method = JDCT_ISLOW;
        if (!jpeg_start_decompress(&m_info))
            return false;
        JSAMPROW luma[16];
        JSAMPROW blue[8];
        JSAMPROW red[8];
        JSAMPARRAY planes[3] = {luma, blue, red};
        while (m_info.output_scanline < m_info.output_height) {
            const int band = int(m_info.output_scanline) / 16;
            for (int i = 0; i < 16; ++i)
                luma[i] = rows(0, band * 16 + i);
            for (int i = 0; i < 8; ++i) {
                blue[i] = rows(1, band * 8 + i);
                red[i] = rows(2, band * 8 + i);
            }
            if (jpeg_read_raw_data(&m_info, planes, 16) == 0)
                return false;
        }
        jpeg_finish_decompress(&m_info);
        return true;
    }

    const jpeg_decompress_struct& Info() const { return m_info; }

private:
    jpeg_decompress_struct m_info{};
    ErrorManager m_errors{};
    bool m_bCreated = false;
};

class Compressor
{
public:
    Compressor() { InstallErrorManager(reinterpret_cast<jpeg_common_struct*>(&m_info), &m_errors); }
    ~Compressor()
    {
        if (m_bCreated)
            jpeg_destroy_compress(&m_info);
        std::free(m_buffer);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    template <typename Rows>
    bool Write(int width, int height, int quality, const Rows& rows)
    {
        if (setjmp(m_errors.jump))
            return false;
        jpeg_create_compress(&m_info);
        m_bCreated = true;
        jpeg_mem_dest(&m_info, &m_buffer, &m_size);
        m_info.image_width = JDIMENSION(width);
        m_info.image_height = JDIMENSION(height);
        m_info.input_components = 3;
        m_info.in_color_space = JCS_YCbCr;
        // The defaults for YCbCr are the planes' own 4:2:0 sampling and a JFIF header.
        jpeg_set_defaults(&m_info);
        jpeg_set_quality(&m_info, quality, TRUE);
        m_info.raw_data_in = TRUE;
        m_info.optimize_coding = TRUE;
        m_info.dct_method = JDCT_ISLOW;
        jpeg_start_compress(&m_info, TRUE);
        JSAMPROW luma[16];
        JSAMPROW blue[8];
        JSAMPROW red[8];
        JSAMPARRAY planes[3] = {luma, blue, red};
        while (m_info.next_scanline < m_info.image_height) {
            const int band = int(m_info.next_scanline) / 16;
            for (int i = 0; i < 16; ++i)
                luma[i] = rows(0, band * 16 + i);
            for (int i = 0; i < 8; ++i) {
                blue[i] = rows(1, band * 8 + i);
                red[i] = rows(2, band * 8 + i);
            }
            if (jpeg_write_raw_data(&m_info, planes, 16) == 0)
                return false;
        }
        jpeg_finish_compress(&m_info);
        return true;
    }

    QByteArray Bytes() const
    {
        return QByteArray(reinterpret_cast<const char*>(m_buffer), int(m_size));
    }

private:
    jpeg_compress_struct m_info{};
    ErrorManager m_errors{};
    bool m_bCreated = false;
    unsigned char* m_buffer = nullptr;
    unsigned long m_size = 0;
};

} // namespace

std::unique_ptr<JpegPlanes> JpegPlanes::Decode(const QByteArray& file)
{
    Decompressor decompressor;
    if (!decompressor.ReadHeader(file) || !IsYcc420(decompressor.Info()))
        return nullptr;
    const jpeg_decompress_struct& info = decompressor.Info();
    std::unique_ptr<JpegPlanes> planes(new JpegPlanes);
    if (!planes->Allocate(int(info.image_width), int(info.image_height)))
        return nullptr;
    const JpegPlanes* target = planes.get();
    const auto rows = [target](int component, int row) { return target->Row(component, row); };
    if (!decompressor.ReadRows(rows))
        return nullptr;
    return planes;
}

JpegPlanes::~JpegPlanes() = default;

QByteArray JpegPlanes::Encode(int quality) const
{
    Compressor compressor;
    const auto rows = [this](int component, int row) { return Row(component, row); };
    if (!compressor.Write(m_width, m_height, quality, rows))
        return QByteArray();
    return compressor.Bytes();
}

std::unique_ptr<JpegPlanes> JpegPlanes::Bands(int step) const
{
    const int bands = (m_height + kBandRows - 1) / kBandRows;
    int height = 0;
    for (int band = 0; band < bands; band += step)
        height += qMin(kBandRows, m_height - band * kBandRows);
    std::unique_ptr<JpegPlanes> sample(new JpegPlanes);
    if (!sample->Allocate(m_width, height))
        return nullptr;
    int target = 0;
    for (int band = 0; band < bands; band += step, ++target) {
        for (int component = 0; component < kComponents; ++component) {
            // Whole bands, their padding included: the sample's blocks are the picture's own.
            const int rows = component == 0 ? kBandRows : kBandRows / 2;
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
    const int bands = (height + kBandRows - 1) / kBandRows;
    for (int component = 0; component < kComponents; ++component) {
        const int scale = component == 0 ? 1 : 2;
        m_strides[component] = columns * kBandRows / scale;
        m_rows[component] = bands * kBandRows / scale;
        // Not zeroed: the decoder writes every byte the encoder reads.
        m_planes[component].reset(new (std::nothrow) unsigned char[size_t(m_strides[component]) *
                                                                   size_t(m_rows[component])]);
        if (!m_planes[component])
            return false;
    }
    return true;
}

unsigned char* JpegPlanes::Row(int component, int row) const
{
    return m_planes[component].get() + size_t(row) * size_t(m_strides[component]);
}
