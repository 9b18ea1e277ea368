#pragma once

#include <QByteArray>

// How often each Huffman symbol occurs in the scan of a baseline JPEG, counted from the file,
// and the optimal tables for those counts, built as libjpeg builds them when it optimises its
// tables (the JPEG standard's Annex K procedure). An encoder can then write optimised tables
// without libjpeg's buffer of the whole picture's coefficients: encode once with the standard
// tables, count, and encode again with the counted ones. The second file is the one libjpeg
// writes with optimize_coding, byte for byte.
class JpegSymbolCounts
{
public:
    // bits[n]: how many codes are n bits long (n = 1..16); values: the symbols in code order.
    struct Table
    {
        unsigned char bits[17] = {};
        unsigned char values[256] = {};
    };

    // Counts the symbols of the file's scan. The file is a baseline JPEG of one interleaved
    // scan without restart markers that uses DC and AC tables 0 and 1, as libjpeg writes a
    // colour picture by default; false for anything else, for broken data, or for a scan that
    // ends early.
    bool Count(const QByteArray& file);

    // The optimal table for the counts of the DC or AC table number index (0 or 1).
    Table Optimal(bool bAc, int index) const;

private:
    // [DC 0, AC 1][table 0..1][symbol]; the symbol 256 is reserved for the construction.
    long m_counts[2][2][257] = {};
};
