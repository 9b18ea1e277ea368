#include "JpegSymbolCounts.h"

#include <QtGlobal>

#include <cstdint>
#include <cstring>

namespace {

constexpr int kLookaheadBits = 9;

// A Huffman table of the file, for decoding: codes of up to kLookaheadBits bits are found in
// one lookup, longer ones by their length's code range (the standard's DECODE procedure).
struct DecodeTable
{
    bool bDefined = false;
    // (length << 8) | symbol, or 0 for a code longer than the lookahead.
    quint16 lookahead[1 << kLookaheadBits] = {};
    int maxCode[18] = {};
    int firstIndex[18] = {};
    int firstCode[18] = {};
    unsigned char values[256] = {};

    bool Build(const unsigned char* bits, const unsigned char* symbols, int count)
    {
        std::memcpy(values, symbols, size_t(count));
        int code = 0;
        int index = 0;
        for (int length = 1; length <= 16; ++length) {
            firstIndex[length] = index;
            firstCode[length] = code;
            for (int i = 0; i < bits[length]; ++i, ++index, ++code) {
                if (length <= kLookaheadBits) {
                    const int shift = kLookaheadBits - length;
                    for (int fill = 0; fill < (1 << shift); ++fill)
                        lookahead[(code << shift) | fill] = quint16((length << 8) | values[index]);
                }
            }
            maxCode[length] = bits[length] ? code - 1 : -1;
            // A code of this length that is all ones would leave no room for longer codes.
            if (code > (1 << length))
                return false;
            code <<= 1;
        }
        maxCode[17] = 0x7FFFFFFF;
        bDefined = true;
        return true;
    }
};

// The entropy-coded data after the scan header: bytes with 0xFF 0x00 standing for 0xFF, up to
// the next marker, after which only zero bits follow.
class BitReader
{
public:
    BitReader(const unsigned char* data, const unsigned char* end) : m_data(data), m_end(end) {}

    // Whether bits were consumed beyond the data: the scan ended early.
    bool IsExhausted() const { return m_bMarker && m_zeroBits > m_count; }

    // Up to 25 bits at a time, the next ones first, without consuming them.
    quint32 Peek(int count)
    {
        Fill();
        return quint32(m_buffer >> (64 - count));
    }
    void Skip(int count)
    {
        m_buffer <<= count;
        m_count -= count;
    }

    // The next symbol of table, or -1 for a code the table does not have.
    int Decode(const DecodeTable& table)
    {
        const quint16 entry = quint16(table.lookahead[Peek(kLookaheadBits)]);
        if (entry) {
            Skip(entry >> 8);
            return entry & 0xFF;
        }
        const quint32 bits = Peek(16);
        for (int length = kLookaheadBits + 1; length <= 16; ++length) {
            const int code = int(bits >> (16 - length));
            if (code <= table.maxCode[length] && code >= table.firstCode[length]) {
                Skip(length);
                return table.values[table.firstIndex[length] + code - table.firstCode[length]];
            }
        }
        return -1;
    }

private:
    void Fill()
    {
        while (m_count <= 56) {
            quint64 byte = 0;
            if (!m_bMarker && m_data < m_end) {
                byte = *m_data;
                if (byte == 0xFF) {
                    if (m_data + 1 < m_end && m_data[1] == 0x00) {
                        m_data += 2;
                    } else {
                        m_bMarker = true;
                        byte = 0;
                    }
                } else {
                    ++m_data;
                }
            }
            if (m_bMarker)
                m_zeroBits += 8;
            m_buffer |= byte << (56 - m_count);
            m_count += 8;
        }
    }

    const unsigned char* m_data;
    const unsigned char* m_end;
    quint64 m_buffer = 0;
    int m_count = 0;
    bool m_bMarker = false;
    int m_zeroBits = 0;
};

struct FrameComponent
{
    int id = 0;
    int h = 1;
    int v = 1;
};

struct Frame
{
    bool bRead = false;
    int width = 0;
    int height = 0;
    FrameComponent components[3];
};

struct ScanComponent
{
    int blocks = 1;
    int dcTable = 0;
    int acTable = 0;
};

using DecodeTables = DecodeTable[2][2];
using Counts = long[2][2][257];

// A baseline frame header: three components of 8 bits, each sampled once or twice each way.
bool ReadFrame(const unsigned char* segment, int size, Frame* frame)
{
    if (size < 6 + 3 * 3 || segment[0] != 8 || segment[5] != 3)
        return false;
    frame->height = (segment[1] << 8) | segment[2];
    frame->width = (segment[3] << 8) | segment[4];
    if (frame->width == 0 || frame->height == 0)
        return false;
    for (int i = 0; i < 3; ++i) {
        FrameComponent& component = frame->components[i];
        component.id = segment[6 + 3 * i];
        component.h = segment[7 + 3 * i] >> 4;
        component.v = segment[7 + 3 * i] & 15;
        if (component.h < 1 || component.h > 2 || component.v < 1 || component.v > 2)
            return false;
    }
    frame->bRead = true;
    return true;
}

// One segment of Huffman table definitions, each DC or AC table number 0 or 1.
bool ReadTables(const unsigned char* segment, int size, DecodeTables& tables)
{
    int offset = 0;
    while (offset < size) {
        if (offset + 17 > size)
            return false;
        const int kind = segment[offset] >> 4;
        const int index = segment[offset] & 15;
        if (kind > 1 || index > 1)
            return false;
        unsigned char bits[17] = {};
        int count = 0;
        for (int length = 1; length <= 16; ++length) {
            bits[length] = segment[offset + length];
            count += bits[length];
        }
        if (count > 256 || offset + 17 + count > size ||
            !tables[kind][index].Build(bits, segment + offset + 17, count))
            return false;
        offset += 17 + count;
    }
    return true;
}

// The scan header of a sequential scan of all three components, whose tables are defined.
bool ReadScan(const unsigned char* segment, int size, const Frame& frame,
              const DecodeTables& tables, ScanComponent* scan)
{
    if (!frame.bRead || size < 1 + 3 * 2 + 3 || segment[0] != 3)
        return false;
    for (int i = 0; i < 3; ++i) {
        const int id = segment[1 + 2 * i];
        const int selectors = segment[2 + 2 * i];
        const FrameComponent* found = nullptr;
        for (const FrameComponent& component : frame.components) {
            if (component.id == id)
                found = &component;
        }
        if (!found)
            return false;
        scan[i].blocks = found->h * found->v;
        scan[i].dcTable = selectors >> 4;
        scan[i].acTable = selectors & 15;
        if (scan[i].dcTable > 1 || scan[i].acTable > 1 || !tables[0][scan[i].dcTable].bDefined ||
            !tables[1][scan[i].acTable].bDefined)
            return false;
    }
    const unsigned char* spectral = segment + 7;
    return spectral[0] == 0 && spectral[1] == 63 && spectral[2] == 0;
}

// Counts the symbols of one block: its DC difference's category, then its AC runs and sizes
// up to the end of block.
bool CountBlock(BitReader& reader, const DecodeTable& dc, const DecodeTable& ac, long* dcCounts,
                long* acCounts)
{
    const int category = reader.Decode(dc);
    if (category < 0 || category > 11)
        return false;
    ++dcCounts[category];
    if (category)
        reader.Skip(category);
    for (int k = 1; k < 64; ++k) {
        const int symbol = reader.Decode(ac);
        if (symbol < 0)
            return false;
        ++acCounts[symbol];
        const int run = symbol >> 4;
        const int bits = symbol & 15;
        if (bits == 0) {
            if (run != 15)
                break;
            k += 15;
            continue;
        }
        k += run;
        reader.Skip(bits);
    }
    return true;
}

// Counts the symbols of every block of the interleaved scan, MCU by MCU.
bool CountScan(BitReader& reader, const Frame& frame, const ScanComponent* scan,
               const DecodeTables& tables, Counts& counts)
{
    int hMax = 1;
    int vMax = 1;
    for (const FrameComponent& component : frame.components) {
        hMax = qMax(hMax, component.h);
        vMax = qMax(vMax, component.v);
    }
    const long mcus = long((frame.width + 8 * hMax - 1) / (8 * hMax)) *
                      long((frame.height + 8 * vMax - 1) / (8 * vMax));
    for (long mcu = 0; mcu < mcus; ++mcu) {
        for (int i = 0; i < 3; ++i) {
            const ScanComponent& component = scan[i];
            for (int block = 0; block < component.blocks; ++block) {
                if (!CountBlock(reader, tables[0][component.dcTable], tables[1][component.acTable],
                                counts[0][component.dcTable], counts[1][component.acTable]))
                    return false;
            }
        }
        if (reader.IsExhausted())
            return false;
    }
    return true;
}

// Whether each of the four tables was used.
bool IsEveryTableCounted(const Counts& counts)
{
    for (const auto& kind : counts) {
        for (const auto& table : kind) {
            long total = 0;
            for (long count : table)
                total += count;
            if (total == 0)
                return false;
        }
    }
    return true;
}

} // namespace

bool JpegSymbolCounts::Count(const QByteArray& file)
{
    std::memset(m_counts, 0, sizeof(m_counts));
    const auto* data = reinterpret_cast<const unsigned char*>(file.constData());
    const int size = file.size();
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return false;

    DecodeTables tables;
    Frame frame;
    int pos = 2;
    for (;;) {
        while (pos < size && data[pos] == 0xFF && pos + 1 < size && data[pos + 1] == 0xFF)
            ++pos;
        if (pos + 4 > size || data[pos] != 0xFF)
            return false;
        const int marker = data[pos + 1];
        const int length = (data[pos + 2] << 8) | data[pos + 3];
        const unsigned char* segment = data + pos + 4;
        if (length < 2 || pos + 2 + length > size)
            return false;
        const int segmentSize = length - 2;
        bool bOk = true;
        if (marker == 0xC0 || marker == 0xC1) {
            bOk = ReadFrame(segment, segmentSize, &frame);
        } else if ((marker >= 0xC2 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                    marker != 0xCC) ||
                   marker == 0xD9) {
            // Progressive, lossless or arithmetic coded, or no scan at all.
            return false;
        } else if (marker == 0xDD) {
            // Restart markers would interrupt the scan.
            bOk = segmentSize >= 2 && ((segment[0] << 8) | segment[1]) == 0;
        } else if (marker == 0xC4) {
            bOk = ReadTables(segment, segmentSize, tables);
        } else if (marker == 0xDA) {
            ScanComponent scan[3];
            if (!ReadScan(segment, segmentSize, frame, tables, scan))
                return false;
            BitReader reader(segment + segmentSize, data + size);
            return CountScan(reader, frame, scan, tables, m_counts) &&
                   IsEveryTableCounted(m_counts);
        }
        if (!bOk)
            return false;
        pos += 2 + length;
    }
}

JpegSymbolCounts::Table JpegSymbolCounts::Optimal(bool bAc, int index) const
{
    constexpr int kMaxLength = 32;
    long frequency[257];
    std::memcpy(frequency, m_counts[bAc ? 1 : 0][index], sizeof(frequency));
    // One code point is reserved, so that no real symbol gets the code of all ones.
    frequency[256] = 1;
    int codeSize[257] = {};
    int others[257];
    for (int& other : others)
        other = -1;

    // Huffman's construction: the two least frequent merge, the later symbol winning ties.
    for (;;) {
        int c1 = -1;
        long least = 1000000000L;
        for (int i = 0; i <= 256; ++i) {
            if (frequency[i] && frequency[i] <= least) {
                least = frequency[i];
                c1 = i;
            }
        }
        int c2 = -1;
        least = 1000000000L;
        for (int i = 0; i <= 256; ++i) {
            if (frequency[i] && frequency[i] <= least && i != c1) {
                least = frequency[i];
                c2 = i;
            }
        }
        if (c2 < 0)
            break;
        frequency[c1] += frequency[c2];
        frequency[c2] = 0;
        ++codeSize[c1];
        while (others[c1] >= 0) {
            c1 = others[c1];
            ++codeSize[c1];
        }
        others[c1] = c2;
        ++codeSize[c2];
        while (others[c2] >= 0) {
            c2 = others[c2];
            ++codeSize[c2];
        }
    }

    int bits[kMaxLength + 1] = {};
    for (int i = 0; i <= 256; ++i) {
        if (codeSize[i])
            ++bits[qMin(codeSize[i], kMaxLength)];
    }
    // Codes longer than 16 bits are not allowed: move pairs of them up, each time splitting a
    // shorter code into two.
    for (int i = kMaxLength; i > 16; --i) {
        while (bits[i] > 0) {
            int j = i - 2;
            while (bits[j] == 0)
                --j;
            bits[i] -= 2;
            ++bits[i - 1];
            bits[j + 1] += 2;
            --bits[j];
        }
    }
    // Give up the reserved code point: the longest code is one fewer.
    int longest = 16;
    while (longest > 0 && bits[longest] == 0)
        --longest;
    if (longest > 0)
        --bits[longest];

    Table table;
    for (int i = 1; i <= 16; ++i)
        table.bits[i] = static_cast<unsigned char>(bits[i]);
    int position = 0;
    for (int length = 1; length <= kMaxLength; ++length) {
        for (int symbol = 0; symbol <= 255; ++symbol) {
            if (codeSize[symbol] == length && position < 256)
                table.values[position++] = static_cast<unsigned char>(symbol);
        }
    }
    return table;
}
