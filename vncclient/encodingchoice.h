#ifndef ENCODINGCHOICE_H
#define ENCODINGCHOICE_H

#include "quality.h"

// What a session asks the server for: pixel format, encodings and the
// tight encoder's levels. A fixed quality is one of these; Auto moves
// between them while connected.
struct EncodingChoice
{
    bool lowColour = false; // 8-bit BGR233 (lossless, no JPEG) instead of 32-bit
    int jpegQuality = -1; // 0-9 for tight's JPEG; -1: lossless only
    int compressLevel = 5; // 0-9
    const char *encodings = ""; // in libvncclient's encodingsString form

    bool operator==(const EncodingChoice &other) const;
    bool operator!=(const EncodingChoice &other) const { return !(*this == other); }

    // The row of a fixed quality; Unknown and any other value are Low's.
    static EncodingChoice forQuality(Quality quality);
};

#endif
