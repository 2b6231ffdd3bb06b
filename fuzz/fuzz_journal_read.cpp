// The journal reader: torn, corrupt and hostile journals never crash it, and
// what it reads is exactly what was written whole, checksums and all, so no
// record that fails its checksum is ever applied.
#include "fuzzcheck.h"
#include "notejournal.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const JournalContents j = ReadJournal(bytes);
    if (!j.headerRead) {
        FUZZ_CHECK(j.edits.empty() && j.base.isEmpty());
        return 0;
    }
    FUZZ_CHECK(!j.baseWhole || j.base.size() == j.header.base.size);
    // What this program writes now reads back byte for byte; version 1's
    // checksums are another hash's.
    if (j.version != 1) {
        FUZZ_CHECK(bytes.first(kJournalHeaderSize) == JournalHeaderBytes(j.header));
        QByteArray edits;
        for (const JournalEdit &e : j.edits)
            edits += JournalEditBytes(e);
        if (!edits.isEmpty())
            FUZZ_CHECK(bytes.sliced(j.baseAt + qsizetype(j.header.base.size)).startsWith(edits));
    }

    QString text = QString::fromLatin1(j.base);
    const std::size_t applied = ApplyEdits(text, j.edits);
    FUZZ_CHECK(applied <= j.edits.size());
    return 0;
}
