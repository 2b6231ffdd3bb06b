#pragma once

#include "noteencoding.h"

#include <algorithm>

// `text` in `encoding` as a large note's write takes it: `size` characters
// at a time, never between the halves of a pair, from the start again when
// the encoder says so.
inline QByteArray EncodedInSlices(QStringView text, NoteEncoding &encoding, NoteBreaks breaks,
                                  qsizetype size)
{
    NoteEncoder encoder(encoding, breaks);
    const bool whole = NoteEncoder::NeedsWholeText(text, encoding);
    QByteArray out, bytes;
    for (qsizetype at = 0, slices = 0; slices == 0 || at < text.size(); ++slices) {
        qsizetype n = whole ? text.size() : std::min(size, text.size() - at);
        if (at + n < text.size() && text[at + n - 1].isHighSurrogate())
            ++n;
        if (encoder.Encode(text.sliced(at, n), at == 0, bytes)) {
            out += bytes;
            at += n;
            if (at < text.size() || encoder.Finish())
                continue;
        }
        out.clear();
        at = 0;
        slices = -1;
    }
    encoding = encoder.Encoding();
    return out;
}
