#include "journalformat.h"

#include <QHashFunctions>
#include <QtEndian>

#include <cstring>
#include <xxhash.h>

namespace {

constexpr char kMagic[4] = {'Q', 'V', 'N', 'J'};
constexpr std::uint32_t kVersion = 2;
constexpr qsizetype kEditFixed = 4 + 8 + 8; // size, position, removed
constexpr qsizetype kChecksumSize = 8;

// The same from one run, one machine or one release of any library to the
// next: a crash before an update still recovers after it.
std::uint64_t Checksum(const char *data, qsizetype size)
{
    return XXH64(data, std::size_t(size), 0);
}

// Version 1's: Qt's own hash, which may change with Qt's release or the
// processor; kept only to read what that version wrote.
std::uint64_t ChecksumV1(const char *data, qsizetype size)
{
    return qHashBits(data, std::size_t(size), 0);
}

// Version 1's hash of a base: Qt's hash of each megabyte, chained.
std::uint64_t BaseHashV1(QByteArrayView bytes)
{
    constexpr qsizetype kBlock = 1 << 20;
    std::size_t hash = 0;
    qsizetype at = 0;
    do {
        const qsizetype n = std::min(kBlock, bytes.size() - at);
        const std::size_t own = qHashBits(bytes.data() + at, std::size_t(n), 0);
        hash = at == 0 ? own : (hash ^ own) * 0x100000001B3ull + (hash >> 29);
        at += n;
    } while (at < bytes.size());
    return hash;
}

template <typename T> void Put(QByteArray &out, T value)
{
    const T le = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&le), sizeof le);
}

template <typename T> T Get(const char *p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return qFromLittleEndian(value);
}

} // namespace

QByteArray JournalHeaderBytes(const JournalHeader &header)
{
    QByteArray out(kMagic, 4);
    Put<std::uint32_t>(out, kVersion);
    Put<std::uint8_t>(out, std::uint8_t(header.encoding));
    Put<std::uint8_t>(out, header.base.exists ? 1 : 0);
    Put<std::uint16_t>(out, header.breaks == NoteBreaks::Lf ? 1 : 0);
    Put<std::int64_t>(out, header.base.size);
    Put<std::int64_t>(out, header.base.mtimeNs);
    Put<std::int64_t>(out, header.base.ctimeNs);
    Put<std::uint64_t>(out, header.base.inode);
    Put<std::uint64_t>(out, std::uint64_t(header.base.hash));
    Put<std::uint64_t>(out, Checksum(out.constData(), out.size()));
    return out;
}

QByteArray JournalEditBytes(const JournalEdit &edit)
{
    QByteArray out;
    out.reserve(kEditFixed + edit.inserted.size() * 2 + kChecksumSize);
    Put<std::uint32_t>(out, std::uint32_t(16 + edit.inserted.size() * 2));
    Put<std::int64_t>(out, edit.position);
    Put<std::int64_t>(out, edit.removed);
    // The characters in one stroke: a whole text may go in as one change.
    const qsizetype at = out.size();
    out.resize(at + edit.inserted.size() * 2);
    qToLittleEndian<std::uint16_t>(edit.inserted.utf16(), edit.inserted.size(), out.data() + at);
    Put<std::uint64_t>(out, Checksum(out.constData(), out.size()));
    return out;
}

JournalContents ReadJournal(QByteArrayView bytes)
{
    JournalContents j;
    j.empty = bytes.isEmpty();
    const char *p = bytes.data();
    if (bytes.size() < kJournalHeaderSize || std::memcmp(p, kMagic, 4) != 0)
        return j;
    const std::uint32_t version = Get<std::uint32_t>(p + 4);
    if (version != 1 && version != kVersion)
        return j;
    const auto checksum = version == 1 ? ChecksumV1 : Checksum;
    if (Get<std::uint64_t>(p + 52) != checksum(p, 52) || std::uint8_t(p[8]) > 4
        || std::uint8_t(p[9]) > 1 || Get<std::uint16_t>(p + 10) > 1)
        return j; // a header this program does not write
    j.headerRead = true;
    j.version = version;
    j.header.encoding = NoteEncoding(std::uint8_t(p[8]));
    j.header.breaks = Get<std::uint16_t>(p + 10) == 1 ? NoteBreaks::Lf : NoteBreaks::CrLf;
    j.header.base.exists = p[9] != 0;
    j.header.base.size = Get<std::int64_t>(p + 12);
    j.header.base.mtimeNs = Get<std::int64_t>(p + 20);
    j.header.base.ctimeNs = Get<std::int64_t>(p + 28);
    j.header.base.inode = Get<std::uint64_t>(p + 36);
    j.header.base.hash = std::size_t(Get<std::uint64_t>(p + 44));
    j.baseAt = version == 1 ? kJournalHeaderSize : kJournalBaseAt;
    const std::int64_t baseSize = j.header.base.size;
    if (baseSize < 0 || bytes.size() < j.baseAt || baseSize > bytes.size() - j.baseAt)
        return j; // the changes lie beyond what was written
    j.base = QByteArray(p + j.baseAt, qsizetype(baseSize));
    // Version 1's hash of the base may be of its bytes taken in one piece.
    const auto hash = std::uint64_t(j.header.base.hash);
    j.baseWhole = version == 1 ? BaseHashV1(j.base) == hash
                                     || ChecksumV1(j.base.constData(), j.base.size()) == hash
                               : std::uint64_t(IdentityHash(j.base)) == hash;
    if (!j.baseWhole)
        j.base.clear();
    else if (version == 1)
        j.header.base.hash = IdentityHash(j.base); // as the note file is weighed now
    for (qsizetype at = j.baseAt + qsizetype(baseSize);;) {
        const qsizetype left = bytes.size() - at;
        if (left < kEditFixed + kChecksumSize)
            break;
        const std::uint32_t size = Get<std::uint32_t>(p + at);
        if (size < 16 || size % 2 != 0 || qsizetype(size) > left - 4 - kChecksumSize)
            break;
        const qsizetype end = at + 4 + qsizetype(size);
        if (Get<std::uint64_t>(p + end) != checksum(p + at, end - at))
            break;
        JournalEdit e;
        e.position = Get<std::int64_t>(p + at + 4);
        e.removed = Get<std::int64_t>(p + at + 12);
        const qsizetype units = (size - 16) / 2;
        e.inserted.resize(units);
        qFromLittleEndian<std::uint16_t>(p + at + kEditFixed, units, e.inserted.data());
        j.edits.push_back(std::move(e));
        at = end + kChecksumSize;
    }
    return j;
}

std::size_t ApplyEdits(QString &text, const std::vector<JournalEdit> &edits)
{
    std::size_t applied = 0;
    for (const JournalEdit &e : edits) {
        if (e.position < 0 || e.removed < 0 || e.position > text.size()
            || e.removed > text.size() - e.position)
            break;
        QString inserted = e.inserted;
        inserted.replace(QChar::ParagraphSeparator, u'\n');
        text.replace(qsizetype(e.position), qsizetype(e.removed), inserted);
        ++applied;
    }
    return applied;
}
