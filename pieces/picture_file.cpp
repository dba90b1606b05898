#include "picture_file.h"

#include "AppInfo.h"
#include "arithmetic.h"
#include "bmp_pixels.h"
#include "picture_formats.h"
#include "pixel_memory.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>
// After the library's configuration, which decides which of its warnings exist.
#include <jerror.h>

QString PictureName(const QString& path)
{
    return QFileInfo(QDir::cleanPath(path)).fileName();
}

namespace {
// Every picture the 16-bit layout can hold (about 16000 pixels wide, 32000 high) fits in this.
constexpr int DecodeLimitMegabytes = 2600;
// No file of a picture that fits the decoding limit needs more bytes than its pixels take.
constexpr qint64 FileLimitBytes = qint64(DecodeLimitMegabytes) * 1024 * 1024;

[[noreturn]] void Refuse(const QString& path, const QString& why)
{
    throw GameError { Fault::UnreadablePicture, std::nullopt,
        QStringLiteral("Poza \"%1\" nu poate fi deschisă: %2.").arg(PictureName(path), why) };
}

const QString NotFound = QStringLiteral("fișierul nu există");
const QString CannotRead = QStringLiteral("fișierul nu poate fi citit");
const QString NotOrdinary = QStringLiteral("nu este un fișier obișnuit");
const QString Changed = QStringLiteral("fișierul s-a schimbat chiar în timp ce era citit; încercați din nou");
const QString Damaged = QStringLiteral("fișierul este deteriorat sau incomplet");
const QString LinkNowhere = QStringLiteral("este o legătură care nu duce la niciun fișier");
// "nu este o poză JPEG sau BMP", from the kinds the game takes.
QString NotAPicture()
{
    return QStringLiteral("nu este o poză %1").arg(PictureFormatNames());
}
const QString TooLarge = QStringLiteral("poza este prea mare pentru memoria disponibilă");

// "12 biți" but "64 de biți": Romanian puts "de" before numbers from twenty on whose last two
// digits are not 01 to 19.
QString Count(qint64 n, const char* one, const char* many)
{
    if (n == 1)
        return QStringLiteral("1 %1").arg(QString::fromUtf8(one));
    const qint64 lastTwo = n % 100;
    const bool withDe = n >= 20 && (lastTwo == 0 || lastTwo >= 20);
    return QStringLiteral("%1 %2%3").arg(n).arg(
        withDe ? QStringLiteral("de ") : QString(), QString::fromUtf8(many));
}

// Kinds of BMP that are valid files but that the game has no reader for, in the player's words;
// empty for every other file. A good file must never be named here, so only what the header states
// outright counts. "atOffset" are the first bytes where the header says the pixels begin.
QString UnreadableBmpKind(const BmpHeader& h, const QByteArray& atOffset)
{
    // OS/2 headers may stop after any of their fields; Windows added 52- and 56-byte ones later.
    if (h.headerSize >= 16 && h.headerSize < 64 && h.headerSize % 4 == 0 && h.headerSize != 40)
        return QStringLiteral("un BMP cu un antet de o lungime neobișnuită (%1)")
            .arg(Count(h.headerSize, "octet", "octeți"));
    if (h.headerSize < 40)
        return {};
    if (h.bits == 2 || h.bits == 64)
        return QStringLiteral("un BMP cu %1 pe pixel").arg(Count(h.bits, "bit", "biți"));
    switch (h.compression) {
    case BmpBitfields:
        // Colour masks make sense for 16 and 32 bits only; at 1 bit, and always for OS/2's second
        // version, the same number means Huffman coding.
        if (h.bits == 1 || h.headerSize == 64)
            return QStringLiteral("un BMP comprimat Huffman");
        if (h.bits != 16 && h.bits != 32)
            return QStringLiteral("un BMP cu măști de culoare pe %1").arg(Count(h.bits, "bit", "biți"));
        return UnsoundBmpMasks(h);
    case BmpJpegOrRle24:
        if (atOffset.startsWith("\xff\xd8"))
            return QStringLiteral("un BMP cu o poză JPEG înăuntru");
        return h.bits == 24 ? QStringLiteral("un BMP comprimat RLE24")
                            : QStringLiteral("un BMP cu o poză JPEG înăuntru");
    case BmpPng:
        return QStringLiteral("un BMP cu o poză PNG înăuntru");
    case BmpAlphaBitfields:
        return QStringLiteral("un BMP cu măști de culoare și transparență");
    default:
        return {};
    }
}

// Headers no BMP of any version has: refused as damaged before anything else is read.
bool BmpHeaderIsSound(const BmpHeader& h)
{
    const bool knownLength = h.headerSize == 12 || (h.headerSize >= 16 && h.headerSize <= 64)
        || h.headerSize == 108 || h.headerSize == 124;
    const bool knownDepth
        = h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 || h.bits == 32;
    // Pictures stored as embedded JPEG or PNG say 0 bits a pixel; those are named, not decoded.
    const bool embedded = h.bits == 0 && (h.compression == BmpJpegOrRle24 || h.compression == BmpPng);
    return knownLength && (knownDepth || embedded || h.bits == 2 || h.bits == 64) && h.width > 0
        && h.height != 0 && h.height > INT32_MIN && (h.headerSize != 12 || BmpReadHere(h));
}

// A run-length stream is complete only when its end-of-bitmap mark is reached inside the file.
bool RleIsShort(const uchar* p, qint64 n, qint64 bits)
{
    qint64 i = 0;
    while (i + 1 < n) {
        const uchar count = p[i], value = p[i + 1];
        i += 2;
        if (count != 0 || value == 0)
            continue;
        if (value == 1)
            return false;
        if (value == 2) {
            i += 2;
            continue;
        }
        const qint64 bytes = bits == 8 ? value : (value + 1) / 2;
        i += bytes + (bytes & 1);
    }
    return true;
}

// Where the pixels of an uncompressed BMP end, as its header says; nothing for compressed ones,
// whose length only their data tells. Headers may claim sizes whose product no file could hold:
// such a claim ends past every file.
std::optional<qint64> BmpPixelsEnd(const BmpHeader& h)
{
    if (h.compression != BmpRgb && h.compression != BmpBitfields && h.compression != BmpAlphaBitfields)
        return std::nullopt;
    qint64 bitsPerRow = 0, rows = 0, end = 0;
    const qint64 height = h.height < 0 ? -h.height : h.height;
    if (__builtin_mul_overflow(h.width, h.bits, &bitsPerRow))
        return std::numeric_limits<qint64>::max();
    const qint64 stride = ((bitsPerRow + 31) / 32) * 4;
    if (__builtin_mul_overflow(stride, height, &rows) || __builtin_add_overflow(h.offset, rows, &end))
        return std::numeric_limits<qint64>::max();
    return end;
}

// Qt fills the rows missing from a short BMP with whatever memory held; such a file is refused.
bool BmpIsShort(const BmpHeader& h, const uchar* data, qint64 size)
{
    if (h.compression == BmpRle8 || h.compression == BmpRle4)
        return h.offset >= size || RleIsShort(data + h.offset, size - h.offset, h.bits);
    const std::optional<qint64> end = BmpPixelsEnd(h);
    return end && size < *end;
}

// Reads an open file at any place, a block at a time, so that a picture's headers can be walked
// and a file refused for them without reading the rest of it.
class FileWindow {
public:
    FileWindow(int fd, qint64 size, const QString& path)
        : fd_(fd)
        , size_(size)
        , path_(path)
    {
    }
    qint64 size() const { return size_; }
    // The byte at "at", or -1 past the end of the file.
    int at(qint64 at)
    {
        if (at < 0 || at >= size_)
            return -1;
        if (at < start_ || at >= start_ + block_.size()) {
            start_ = at - at % Block;
            block_ = bytes(start_, Block);
            if (at >= start_ + block_.size())
                return -1;
        }
        return uchar(block_[qsizetype(at - start_)]);
    }
    // Up to n bytes from "from", fewer at the end of the file.
    QByteArray bytes(qint64 from, qint64 n)
    {
        QByteArray out(qsizetype(std::max<qint64>(0, std::min(n, size_ - from))), Qt::Uninitialized);
        const qint64 got = read(out.data(), from, out.size());
        if (got < 0)
            Refuse(path_, CannotRead);
        out.truncate(qsizetype(got));
        return out;
    }
    // Up to n bytes from "from" into "to": how many, fewer at the end of the file, or -1 when the
    // file cannot be read. Raises nothing, so that a decoder's own code can call it.
    qint64 read(char* to, qint64 from, qint64 n)
    {
        qint64 got = 0;
        n = std::max<qint64>(0, std::min(n, size_ - from));
        while (got < n) {
            const ssize_t r = ::pread(fd_, to + got, size_t(n - got), off_t(from + got));
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                return -1;
            if (r == 0)
                break;
            got += r;
        }
        return got;
    }

private:
    static constexpr qint64 Block = 64 * 1024;
    int fd_;
    qint64 size_;
    QString path_;
    qint64 start_ = 0;
    QByteArray block_;
};

// What a picture file's first bytes tell before the rest is read.
struct PictureHead {
    QByteArray format;
    QSize stored; // as the header gives it, before any turn; invalid when the header says none
    QByteArray headers; // the bytes that tell the decoder the picture's size and orientation
    qint64 end = 0; // where the pixels end, when the header tells
};

[[noreturn]] void RefuseKind(const QString& path, const QString& kind, PictureKind format)
{
    Refuse(path,
        QStringLiteral("este %1, un fel de %2 pe care jocul nu îl poate citi")
            .arg(kind, FormatOf(format).name));
}

// libjpeg steps over stray bytes and fill before a marker; a file that has nothing else for this
// long is no picture.
constexpr qint64 MostStrayBytes = 64 * 1024;

// Walks a JPEG's segments by their lengths up to its first scan, reading only their headers, and
// refuses what no decoder could show: a structure that breaks off, or a frame of a kind the game has
// no reader for (the decoder reads 8-bit pictures, sequential or progressive, Huffman or arithmetic).
PictureHead ReadJpegHead(FileWindow& f, const QString& path)
{
    PictureHead head { "jpeg", {}, {} };
    bool frame = false;
    qint64 i = 2;
    for (;;) {
        const qint64 from = i;
        while (f.at(i) >= 0 && f.at(i) != 0xff && i - from < MostStrayBytes)
            ++i;
        while (f.at(i) == 0xff && i - from < MostStrayBytes)
            ++i;
        const int marker = f.at(i++);
        if (marker < 0 || i - from > MostStrayBytes)
            Refuse(path, Damaged);
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8))
            continue;
        // An end before any picture data: nothing to show.
        if (marker == 0xd9)
            Refuse(path, Damaged);
        const int high = f.at(i), low = f.at(i + 1);
        const qint64 length = (qint64(std::max(high, 0)) << 8) | std::max(low, 0);
        if (high < 0 || low < 0 || length < 2 || i + length > f.size())
            Refuse(path, Damaged);
        switch (marker) {
        case 0xc0:
        case 0xc1:
        case 0xc2:
        case 0xc9:
        case 0xca: {
            const QByteArray sof = f.bytes(i, std::min<qint64>(length, 8));
            if (sof.size() < 7)
                Refuse(path, Damaged);
            // The DCT processes code 8 or 12 bits a sample; any other figure is damage, not a kind.
            const int precision = uchar(sof[2]);
            if (precision == 12)
                RefuseKind(path, QStringLiteral("un JPEG pe 12 biți"), PictureKind::Jpeg);
            if (precision != 8)
                Refuse(path, Damaged);
            const int height = qFromBigEndian<quint16>(sof.constData() + 3),
                      width = qFromBigEndian<quint16>(sof.constData() + 5);
            if (height > 0 && width > 0)
                head.stored = QSize(width, height);
            frame = true;
            break;
        }
        case 0xc3:
        case 0xcb:
            RefuseKind(path, QStringLiteral("un JPEG fără pierderi (lossless)"), PictureKind::Jpeg);
        case 0xc5:
        case 0xc6:
        case 0xc7:
        case 0xcd:
        case 0xce:
        case 0xcf:
            RefuseKind(path, QStringLiteral("un JPEG ierarhic"), PictureKind::Jpeg);
        case 0xf7:
        case 0xf8:
            RefuseKind(path, QStringLiteral("un JPEG-LS"), PictureKind::Jpeg);
        case 0xda:
            if (!frame)
                Refuse(path, Damaged);
            head.headers = f.bytes(0, i + length) + QByteArray("\xff\xd9", 2);
            return head;
        }
        i += length;
    }
}

PictureHead ReadBmpHead(FileWindow& f, const QString& path)
{
    PictureHead head { "bmp", {}, f.bytes(0, 14 + 124 + 16) };
    const std::optional<BmpHeader> h = ReadBmpHeader(head.headers);
    if (!h)
        Refuse(path, Damaged);
    const QString kind = UnreadableBmpKind(*h, f.bytes(h->offset, 2));
    if (!kind.isEmpty())
        RefuseKind(path, kind, PictureKind::Bmp);
    if (!BmpHeaderIsSound(*h))
        Refuse(path, Damaged);
    const qint64 height = h->height < 0 ? -h->height : h->height;
    if (std::in_range<int>(h->width) && std::in_range<int>(height))
        head.stored = QSize(int(h->width), int(height));
    head.end = BmpPixelsEnd(*h).value_or(0);
    return head;
}

// The size a picture shows at: photos stored on their side are shown upright, so they take the
// turned size on screen.
QSize Upright(const PictureHead& head)
{
    QSize size = head.stored;
    if (head.format != "jpeg" || !size.isValid())
        return size;
    QBuffer buffer;
    buffer.setData(head.headers);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        size.transpose();
    return size;
}

// libjpeg goes on with made-up data where a scan is missing, cut short or corrupt, and tells it only
// by a warning; these are the warnings that mean a pixel would not be the file's.
struct ScanWatch {
    jpeg_error_mgr manager; // first, so libjpeg's pointer to it points to the whole watch
    std::jmp_buf stop;
    bool madeUp = false;
    bool endMissing = false;
};

void NoteWarning(j_common_ptr info, int level)
{
    if (level >= 0)
        return;
    auto* watch = reinterpret_cast<ScanWatch*>(info->err);
    switch (info->err->msg_code) {
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
        watch->madeUp = true;
        break;
    case JWRN_EXTRANEOUS_DATA:
        // Data past the last block of a file that then stops without its end: the rest of a picture
        // this one is not, or the zeros a broken download leaves.
        watch->madeUp = watch->madeUp || watch->endMissing;
        break;
    default:
        // Stray bytes between segments, unknown revisions, a bad colour profile: nothing lost.
        break;
    }
}

[[noreturn]] void StopDecoding(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ScanWatch*>(info->err)->stop, 1);
}

// The file fed to libjpeg a piece at a time, so that checking a JPEG takes no more memory than a
// piece and a file to be refused is refused without being read whole. Once every block is decoded,
// the end marker must follow soon, and no picture's data runs much longer than its samples could
// take: a file that goes on with no marker in sight (a photo's first part followed by zeros to the
// length of the whole) is not read to its end but refused.
struct FileSource {
    jpeg_source_mgr manager; // first, so libjpeg's pointer to it points to the whole source
    FileWindow* file;
    ScanWatch* watch;
    qint64 next = 0;
    bool afterLastBlock = false;
    qint64 readAfterLastBlock = 0;
    qint64 mostToRead = std::numeric_limits<qint64>::max();
    QByteArray piece = QByteArray(256 * 1024, Qt::Uninitialized);

    static constexpr qint64 MostAfterLastBlock = 1024 * 1024;
    static constexpr JOCTET End[2] = { 0xff, JPEG_EOI };

    static boolean Fill(j_decompress_ptr info)
    {
        auto* self = reinterpret_cast<FileSource*>(info->src);
        const qint64 got = self->file->read(self->piece.data(), self->next, self->piece.size());
        if (self->afterLastBlock && got > 0) {
            self->readAfterLastBlock += got;
            self->watch->madeUp = self->watch->madeUp || self->readAfterLastBlock > MostAfterLastBlock;
        }
        self->watch->madeUp = self->watch->madeUp || self->next + got > self->mostToRead;
        if (got <= 0 || self->watch->madeUp) {
            // The end of the file, or of what is worth reading: an end marker stands in, as libjpeg's
            // own sources do.
            self->watch->endMissing = self->watch->endMissing || got <= 0;
            self->manager.next_input_byte = End;
            self->manager.bytes_in_buffer = 2;
            return TRUE;
        }
        self->next += got;
        self->manager.next_input_byte = reinterpret_cast<const JOCTET*>(self->piece.constData());
        self->manager.bytes_in_buffer = size_t(got);
        return TRUE;
    }
    static void Skip(j_decompress_ptr info, long count)
    {
        auto* self = reinterpret_cast<FileSource*>(info->src);
        if (count <= 0)
            return;
        if (size_t(count) <= self->manager.bytes_in_buffer) {
            self->manager.next_input_byte += count;
            self->manager.bytes_in_buffer -= size_t(count);
            return;
        }
        self->next += qint64(count) - qint64(self->manager.bytes_in_buffer);
        self->manager.bytes_in_buffer = 0;
    }
    static void Nothing(j_decompress_ptr) { }

    FileSource(FileWindow& f, ScanWatch& w)
        : file(&f)
        , watch(&w)
    {
        manager.next_input_byte = nullptr;
        manager.bytes_in_buffer = 0;
        manager.init_source = Nothing;
        manager.fill_input_buffer = Fill;
        manager.skip_input_data = Skip;
        manager.resync_to_restart = jpeg_resync_to_restart;
        manager.term_source = Nothing;
    }
};

// Whether every pixel of a JPEG comes from its file: the picture is decoded at an eighth of its size,
// which reads all of the coded data but spends little on pixels. A file that stops without its end
// marker is whole when the scans it has leave nothing out and nothing over; arithmetic coding reads
// past the end of its data by design, so there, as for any other doubt, the answer is no.
bool JpegIsWhole(FileWindow& file)
{
    jpeg_decompress_struct info {};
    ScanWatch watch;
    FileSource source(file, watch);
    info.err = jpeg_std_error(&watch.manager);
    watch.manager.error_exit = StopDecoding;
    watch.manager.emit_message = NoteWarning;
    // Only libjpeg's own state and memory live past this point, so jumping back here leaks nothing.
    if (setjmp(watch.stop)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    info.src = &source.manager;
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    // Real files take about a byte a sample at the very most (random noise at the highest quality,
    // no colour subsampled): a file whose data runs past four beyond its headers holds something
    // else, and is not read on to its end. A progressive picture gathers all its scans before its
    // last block is decoded, so for it only this bound stops early.
    source.mostToRead = source.next + qint64(info.image_width) * info.image_height * info.num_components * 4
        + FileSource::MostAfterLastBlock;
    info.scale_num = 1;
    info.scale_denom = 8;
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    JSAMPARRAY row = (*info.mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, info.output_width * info.output_components, 1);
    while (info.output_scanline < info.output_height && !watch.madeUp)
        jpeg_read_scanlines(&info, row, 1);
    if (watch.madeUp) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    // A progressive file may stop between two scans: then some coefficients never got their last
    // bits. Sequential scans of one component each: a missing one would come out flat.
    bool scansComplete = !info.arith_code;
    if (info.progressive_mode)
        for (int c = 0; c < info.num_components; ++c)
            for (int k = 0; k < DCTSIZE2; ++k)
                scansComplete = scansComplete && info.coef_bits[c][k] == 0;
    else
        scansComplete = scansComplete && !jpeg_has_multiple_scans(&info);
    // Read on to the end, so that what lies after the last block is heard of too.
    source.afterLastBlock = true;
    jpeg_finish_decompress(&info);
    const bool whole = !watch.madeUp && (!watch.endMissing || scansComplete);
    jpeg_destroy_decompress(&info);
    return whole;
}

// The kind Qt's reader takes the bytes for, by its key in the table: Qt's readers name a kind by one
// of its file extensions.
QByteArray Format(QImageReader& reader)
{
    const QByteArray format = reader.format().toLower();
    for (const PictureFormat& known : PictureFormats())
        if (known.extensions.contains(QString::fromLatin1(format)))
            return known.key;
    return format;
}

// The kind of picture a file's first bytes say it is; none for any other file.
const PictureFormat* FormatAtStart(FileWindow& f)
{
    for (const PictureFormat& format : PictureFormats()) {
        bool starts = true;
        for (qsizetype i = 0; i < format.firstBytes.size() && starts; ++i)
            starts = f.at(i) == uchar(format.firstBytes[i]);
        if (starts)
            return &format;
    }
    return nullptr;
}

// Whether another program has changed the open file since "before" was taken.
bool ChangedSince(int fd, const struct stat& before)
{
    struct stat now { };
    return ::fstat(fd, &now) != 0 || now.st_size != before.st_size
        || now.st_mtim.tv_sec != before.st_mtim.tv_sec || now.st_mtim.tv_nsec != before.st_mtim.tv_nsec;
}

// A link whose end is missing or that leads back to itself; a path that is not a link says false.
bool LinkLeadsNowhere(const QByteArray& path, int error)
{
    if (error == ELOOP)
        return true;
    struct stat link { };
    return error == ENOENT && ::lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode);
}
}

PictureFileBytes ReadPictureFile(
    const QString& path, const std::function<void(QSize)>& checkSize, const std::function<void()>& opened)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat found { };
    if (path.isEmpty())
        Refuse(path, NotFound);
    if (::stat(name.constData(), &found) != 0) {
        const int error = errno;
        if (LinkLeadsNowhere(name, error))
            Refuse(path, LinkNowhere);
        Refuse(path, error == ENOENT || error == ENOTDIR ? NotFound : CannotRead);
    }
    if (S_ISDIR(found.st_mode))
        Refuse(path, QStringLiteral("este un dosar, nu un fișier"));
    if (!S_ISREG(found.st_mode))
        Refuse(path, NotOrdinary);
    if (::access(name.constData(), R_OK) != 0)
        Refuse(path, CannotRead);
    if (found.st_size == 0)
        Refuse(path, QStringLiteral("fișierul este gol"));
    if (found.st_size > FileLimitBytes)
        Refuse(path, QStringLiteral("fișierul este mai mare decât orice poză pe care o poate folosi jocul"));

    // Opened without waiting, and looked at again once open, in case a pipe took the file's place.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        Refuse(path, errno == ENOENT ? NotFound : CannotRead);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        Refuse(path, CannotRead);
    }
    struct stat before { };
    if (::fstat(fd, &before) != 0)
        Refuse(path, CannotRead);
    if (!S_ISREG(before.st_mode))
        Refuse(path, NotOrdinary);
    if (before.st_size <= 0 || before.st_size > FileLimitBytes)
        Refuse(path, Changed);

    // The kind and the size the picture announces come from its first bytes: a file that is to be
    // refused for them is refused without reading, or making room for, the rest.
    FileWindow window(fd, before.st_size, path);
    const PictureFormat* format = FormatAtStart(window);
    if (!format)
        Refuse(path, NotAPicture());
    PictureHead head;
    switch (format->kind) {
    case PictureKind::Jpeg:
        head = ReadJpegHead(window, path);
        break;
    case PictureKind::Bmp:
        head = ReadBmpHead(window, path);
        break;
    }
    PictureFileBytes read { path, {}, head.format, Upright(head) };
    if (read.announced.isValid()) {
        if (checkSize)
            checkSize(read.announced);
        // Headers may announce up to 2^31 pixels each way: the product is compared, not made 4 times.
        if (qint64(read.announced.width()) * read.announced.height()
            > qint64(DecodeLimitMegabytes) * 1024 * 1024 / 4)
            Refuse(path, TooLarge);
    }
    // Pixels that would end past the file are missing, whatever the rest of the file holds; a JPEG's
    // decoder must not make up any. A file rewritten meanwhile may look damaged only for that.
    if (head.end > before.st_size || (head.format == "jpeg" && !JpegIsWhole(window))) {
        if (ChangedSince(fd, before))
            Refuse(path, Changed);
        Refuse(path, Damaged);
    }
    if (opened)
        opened();

    // One byte more than announced, so a file that grows meanwhile shows it.
    try {
        read.bytes.resize(qsizetype(before.st_size) + 1);
    } catch (const std::bad_alloc&) {
        Refuse(path, TooLarge);
    }
    qint64 got = 0;
    while (got < read.bytes.size()) {
        const qint64 n = file.read(read.bytes.data() + got, read.bytes.size() - got);
        if (n < 0)
            Refuse(path, CannotRead);
        if (n == 0)
            break;
        got += n;
    }
    if (got != before.st_size || ChangedSince(fd, before))
        Refuse(path, Changed);
    read.bytes.truncate(got);
    return read;
}

QImage LoadPictureFile(const QString& path)
{
    return LoadPictureFile(ReadPictureFile(path));
}

QImage LoadPictureFile(const PictureFileBytes& file)
{
    const QString& path = file.path;
    const auto* data = reinterpret_cast<const uchar*>(file.bytes.constData());
    const qint64 length = file.bytes.size();

    QImageReader::setAllocationLimit(DecodeLimitMegabytes);
    QBuffer buffer;
    buffer.setData(file.bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QByteArray format = Format(reader);
    if (format != file.format)
        Refuse(path, FormatByKey(format) ? Damaged : NotAPicture());
    const QSize size = reader.size();

    QImage picture;
    if (format == "bmp") {
        const std::optional<BmpHeader> header = ReadBmpHeader(file.bytes.left(14 + 124 + 16));
        if (!header || BmpIsShort(*header, data, length))
            Refuse(path, Damaged);
        if (BmpReadHere(*header)) {
            const std::optional<QImage> read = ReadBmpPixels(*header, file.bytes);
            if (!read)
                Refuse(path, Damaged);
            if (read->isNull())
                Refuse(path, TooLarge);
            return *read;
        }
        // Run-length pictures may skip pixels on purpose; Qt decodes into the picture it is handed
        // when size and format match, so the skipped ones come out in colour 0, not as stale memory.
        if ((header->compression == BmpRle8 || header->compression == BmpRle4) && size.isValid()) {
            picture = QImage(size, QImage::Format_Indexed8);
            if (picture.isNull())
                Refuse(path, TooLarge);
            picture.fill(0);
        }
    }
    // Decoded straight into memory fit for a big picture; Qt keeps a picture it is handed whose
    // size and format match.
    if (picture.isNull() && size.isValid() && reader.imageFormat() == QImage::Format_RGB32)
        picture = NewLargeImage(size, QImage::Format_RGB32);
    if (!reader.read(&picture)) {
        switch (reader.error()) {
        case QImageReader::DeviceError:
            Refuse(path, CannotRead);
        case QImageReader::UnsupportedFormatError:
            Refuse(path, NotAPicture());
        default:
            Refuse(path, Damaged);
        }
    }
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
        Refuse(path, Damaged);
    if (picture.format() != QImage::Format_RGB32) {
        picture = picture.convertToFormat(QImage::Format_RGB32);
        if (picture.isNull())
            Refuse(path, TooLarge);
    }
    return picture;
}
