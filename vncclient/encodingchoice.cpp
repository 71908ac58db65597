#include "encodingchoice.h"

#include <cstring>
#include <iterator>

namespace
{
const char allEncodings[] = "tight zrle ultra copyrect hextile zlib corre rre raw";

struct QualityRow
{
    Quality quality;
    EncodingChoice choice;
};

// The last row applies to every other value (Low and Unknown). Low's zlib
// level is 6, not 9: on 8-bit pixels level 9 halved a changing picture's
// bytes, but TigerVNC's server then spent a whole core on it and every
// update waited (four times the key-to-screen time at 20 Mbit/s);
// bench/README.md. JPEG needs true colour: libvncserver sends it even to
// 8-bit clients, which the library then cannot decode.
const QualityRow qualityTable[] = {
    {Quality::High, {false, -1, 0, "copyrect hextile raw"}},
    {Quality::Medium, {false, 7, 5, allEncodings}},
    // Auto starts here until the link is measured.
    {Quality::Auto, {false, 7, 5, allEncodings}},
    {Quality::Low, {true, -1, 6, allEncodings}},
};
} // namespace

bool EncodingChoice::operator==(const EncodingChoice &other) const
{
    return lowColour == other.lowColour && jpegQuality == other.jpegQuality && compressLevel == other.compressLevel
        && std::strcmp(encodings, other.encodings) == 0;
}

EncodingChoice EncodingChoice::forQuality(Quality quality)
{
    for (const QualityRow &row : qualityTable) {
        if (row.quality == quality)
            return row.choice;
    }
    return qualityTable[std::size(qualityTable) - 1].choice;
}
