#include "picture_file.h"

#include "AppInfo.h"
#include "basic.h"
#include "pixel_memory.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <new>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jerror.h>
#include <jpeglib.h>

namespace {
// Every picture the 16-bit layout can hold (about 16000 pixels wide, 32000 high) fits in this.
constexpr int DecodeLimitMegabytes = 2600;
// No file of a picture that fits the decoding limit needs more bytes than its pixels take.
constexpr qint64 FileLimitBytes = qint64(DecodeLimitMegabytes) * 1024 * 1024;

[[noreturn]] void Refuse(const QString& path, const QString& why)
{
    throw RuntimeError { Err::InvalidPicture,
        QStringLiteral("Poza \"%1\" nu poate fi deschisă: %2.").arg(QFileInfo(path).fileName(), why), true };
}

const QString NotFound = QStringLiteral("fișierul nu există");
const QString CannotRead = QStringLiteral("fișierul nu poate fi citit");
const QString NotOrdinary = QStringLiteral("nu este un fișier obișnuit");
const QString Changed = QStringLiteral("fișierul s-a schimbat chiar în timp ce era citit; încercați din nou");
const QString Damaged = QStringLiteral("fișierul este deteriorat sau incomplet");
const QString NotAPicture = QStringLiteral("nu este o poză JPEG sau BMP");
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

// What a BMP header says about the pixel data that follows it.
struct BmpHeader {
    qint64 offset = 0;
    qint64 width = 0;
    qint64 height = 0;
    qint64 bits = 0;
    quint32 compression = 0;
};

constexpr quint32 BmpRgb = 0, BmpRle8 = 1, BmpRle4 = 2, BmpBitfields = 3, BmpJpegOrRle24 = 4, BmpPng = 5,
                  BmpAlphaBitfields = 6;

std::optional<BmpHeader> ReadBmpHeader(const QByteArray& head)
{
    if (head.size() < 26 || !head.startsWith("BM"))
        return std::nullopt;
    auto u32 = [&](int at) { return qFromLittleEndian<quint32>(head.constData() + at); };
    auto u16 = [&](int at) { return qFromLittleEndian<quint16>(head.constData() + at); };
    BmpHeader h;
    h.offset = u32(10);
    const quint32 dibSize = u32(14);
    if (dibSize == 12) {
        h.width = u16(18);
        h.height = u16(20);
        h.bits = u16(24);
    } else if (dibSize >= 40 && head.size() >= 34) {
        h.width = static_cast<qint32>(u32(18));
        h.height = static_cast<qint32>(u32(22));
        h.bits = u16(28);
        h.compression = u32(30);
    } else {
        return std::nullopt;
    }
    h.height = h.height < 0 ? -h.height : h.height;
    return h;
}

// Kinds of BMP that are valid files but that the decoder has no reader for, in the player's words;
// empty for every other file. A good file must never be named here, so only what the header states
// outright counts.
QString UnreadableBmpKind(const QByteArray& bytes)
{
    if (bytes.size() < 18 || !bytes.startsWith("BM"))
        return {};
    const quint32 dibSize = qFromLittleEndian<quint32>(bytes.constData() + 14);
    // OS/2 headers may stop after any of their fields; Windows added 52- and 56-byte ones later.
    if (dibSize >= 16 && dibSize < 64 && dibSize % 4 == 0 && dibSize != 40)
        return QStringLiteral("un BMP cu un antet de o lungime neobișnuită (%1)")
            .arg(Count(dibSize, "octet", "octeți"));
    const std::optional<BmpHeader> h = ReadBmpHeader(bytes.left(54));
    if (!h || dibSize < 40)
        return {};
    if (h->bits == 2 || h->bits == 64)
        return QStringLiteral("un BMP cu %1 pe pixel").arg(Count(h->bits, "bit", "biți"));
    auto embedded = [&](const char* signature) {
        return h->offset >= 0 && h->offset < bytes.size() && bytes.mid(h->offset).startsWith(signature);
    };
    switch (h->compression) {
    case BmpBitfields:
        // Colour masks make sense for 16 and 32 bits only; at 1 bit OS/2 means Huffman coding.
        return h->bits == 1 ? QStringLiteral("un BMP comprimat Huffman") : QString();
    case BmpJpegOrRle24:
        if (embedded("\xff\xd8"))
            return QStringLiteral("un BMP cu o poză JPEG înăuntru");
        return h->bits == 24 ? QStringLiteral("un BMP comprimat RLE24")
                             : QStringLiteral("un BMP cu o poză JPEG înăuntru");
    case BmpPng:
        return QStringLiteral("un BMP cu o poză PNG înăuntru");
    case BmpAlphaBitfields:
        return QStringLiteral("un BMP cu măști de culoare și transparență");
    default:
        return {};
    }
}

// Kinds of JPEG the decoder (8-bit, sequential or progressive, Huffman or arithmetic) cannot read,
// told from the frame header; empty for every other file.
QString UnreadableJpegKind(const uchar* p, qint64 n)
{
    if (n < 4 || p[0] != 0xff || p[1] != 0xd8)
        return {};
    qint64 i = 2;
    while (i + 4 <= n && p[i] == 0xff) {
        const uchar marker = p[i + 1];
        if (marker == 0xff || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) {
            i += marker == 0xff ? 1 : 2;
            continue;
        }
        switch (marker) {
        case 0xc0:
        case 0xc1:
        case 0xc2:
        case 0xc9:
        case 0xca:
            if (i + 4 < n && p[i + 4] != 8)
                return QStringLiteral("un JPEG pe %1").arg(Count(p[i + 4], "bit", "biți"));
            return {};
        case 0xc3:
        case 0xcb:
            return QStringLiteral("un JPEG fără pierderi (lossless)");
        case 0xc5:
        case 0xc6:
        case 0xc7:
        case 0xcd:
        case 0xce:
        case 0xcf:
            return QStringLiteral("un JPEG ierarhic");
        case 0xf7:
        case 0xf8:
            return QStringLiteral("un JPEG-LS");
        case 0xd9:
        case 0xda:
            return {};
        }
        i += 2 + ((qint64(p[i + 2]) << 8) | p[i + 3]);
    }
    return {};
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

// Qt fills the rows missing from a short BMP with whatever memory held; such a file is refused.
bool BmpIsShort(const BmpHeader& h, const uchar* data, qint64 size)
{
    if (h.width <= 0 || h.bits <= 0)
        return false;
    if (h.compression == BmpRle8 || h.compression == BmpRle4) {
        if (h.offset >= size)
            return true;
        return RleIsShort(data + h.offset, size - h.offset, h.bits);
    }
    // Only uncompressed rows have a size known in advance.
    if (h.compression != BmpRgb && h.compression != BmpBitfields && h.compression != BmpAlphaBitfields)
        return false;
    // Headers may claim sizes whose product no file could hold; such a claim is short by definition.
    qint64 bitsPerRow = 0, rows = 0, needed = 0;
    if (__builtin_mul_overflow(h.width, h.bits, &bitsPerRow))
        return true;
    const qint64 stride = ((bitsPerRow + 31) / 32) * 4;
    if (__builtin_mul_overflow(stride, h.height, &rows) || __builtin_add_overflow(h.offset, rows, &needed))
        return true;
    return size < needed;
}

enum class JpegEnd { Whole, InLastScan, Short };

// libjpeg makes up grey blocks for a file cut short; the player should hear it is damaged instead.
// Segments are walked by their lengths, scans up to the next marker that is neither a stuffed byte
// nor a restart. The picture is whole when its end marker is reached; a file that stops inside its
// last scan's data may still hold every pixel, which only decoding can tell.
JpegEnd JpegEnding(const uchar* p, qint64 n)
{
    if (n < 2 || p[0] != 0xff || p[1] != 0xd8)
        return JpegEnd::Whole;
    qint64 i = 2;
    for (;;) {
        while (i < n && p[i] != 0xff)
            ++i;
        while (i < n && p[i] == 0xff)
            ++i;
        if (i >= n)
            return JpegEnd::Short;
        const uchar marker = p[i++];
        if (marker == 0xd9)
            return JpegEnd::Whole;
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7))
            continue;
        if (i + 2 > n)
            return JpegEnd::Short;
        i += (qint64(p[i]) << 8) | p[i + 1];
        if (i > n)
            return JpegEnd::Short;
        if (marker != 0xda)
            continue;
        for (;;) {
            while (i < n && p[i] != 0xff)
                ++i;
            if (i + 1 >= n)
                return JpegEnd::InLastScan;
            const uchar next = p[i + 1];
            if (next == 0x00 || (next >= 0xd0 && next <= 0xd7)) {
                i += 2;
                continue;
            }
            if (next == 0xff) {
                ++i;
                continue;
            }
            break;
        }
    }
}

// libjpeg tells a scan that runs out of data only by a warning, and goes on with made-up zeros.
struct ScanWatch {
    jpeg_error_mgr manager; // first, so libjpeg's pointer to it points to the whole watch
    std::jmp_buf stop;
    bool ranOut = false;
};

void NoteWarning(j_common_ptr info, int level)
{
    const int code = info->err->msg_code;
    if (level < 0 && (code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC))
        reinterpret_cast<ScanWatch*>(info->err)->ranOut = true;
}

[[noreturn]] void StopDecoding(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ScanWatch*>(info->err)->stop, 1);
}

// Whether a JPEG that stops without its end marker still holds every scan in full: it is decoded at
// an eighth of its size, which reads all of the coded data but spends little on pixels. Arithmetic
// coding reads past the end of its data by design, so there the answer is no, as for any doubt.
bool JpegScansComplete(const uchar* data, qint64 size)
{
    jpeg_decompress_struct info {};
    ScanWatch watch;
    info.err = jpeg_std_error(&watch.manager);
    watch.manager.error_exit = StopDecoding;
    watch.manager.emit_message = NoteWarning;
    // Only libjpeg's own state and memory live past this point, so jumping back here leaks nothing.
    if (setjmp(watch.stop)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || info.arith_code) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.scale_num = 1;
    info.scale_denom = 8;
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    JSAMPARRAY row = (*info.mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, info.output_width * info.output_components, 1);
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, row, 1);
    bool complete = !watch.ranOut;
    // A progressive file may stop between two scans: then some coefficients never got their last bits.
    if (complete && info.progressive_mode)
        for (int c = 0; c < info.num_components; ++c)
            for (int k = 0; k < DCTSIZE2; ++k)
                complete = complete && info.coef_bits[c][k] == 0;
    jpeg_destroy_decompress(&info);
    return complete;
}

QByteArray Format(QImageReader& reader)
{
    const QByteArray format = reader.format().toLower();
    return format == "jpg" ? QByteArray("jpeg") : format;
}
}

PictureFileBytes ReadPictureFile(const QString& path, const std::function<void()>& opened)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        Refuse(path, NotFound);
    if (info.isDir())
        Refuse(path, QStringLiteral("este un dosar, nu un fișier"));
    if (!info.isFile())
        Refuse(path, NotOrdinary);
    if (!info.isReadable())
        Refuse(path, CannotRead);
    if (info.size() == 0)
        Refuse(path, QStringLiteral("fișierul este gol"));
    if (info.size() > FileLimitBytes)
        Refuse(path, QStringLiteral("fișierul este mai mare decât orice poză pe care o poate folosi jocul"));

    // Opened without waiting, and looked at again once open, in case a pipe took the file's place.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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
    if (opened)
        opened();

    // One byte more than announced, so a file that grows meanwhile shows it.
    PictureFileBytes read { path, {} };
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
    struct stat after { };
    if (::fstat(fd, &after) != 0 || got != before.st_size || after.st_size != before.st_size
        || after.st_mtim.tv_sec != before.st_mtim.tv_sec || after.st_mtim.tv_nsec != before.st_mtim.tv_nsec)
        Refuse(path, Changed);
    read.bytes.truncate(got);
    return read;
}

QSize PictureFileSize(const PictureFileBytes& file)
{
    QBuffer buffer;
    buffer.setData(file.bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QSize size = reader.size();
    // Photos stored on their side are shown upright, so they take the turned size on screen.
    if (size.isValid() && (reader.transformation() & QImageIOHandler::TransformationRotate90))
        size.transpose();
    return size;
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
    if (format != "jpeg" && format != "bmp")
        Refuse(path, NotAPicture);
    const QString kind = format == "bmp" ? UnreadableBmpKind(file.bytes) : UnreadableJpegKind(data, length);
    if (!kind.isEmpty())
        Refuse(path,
            QStringLiteral("este %1, un fel de %2 pe care jocul nu îl poate citi")
                .arg(kind, QString::fromLatin1(format.toUpper())));
    const QSize size = reader.size();
    if (size.isValid()
        && qint64(size.width()) * size.height() * 4 > qint64(DecodeLimitMegabytes) * 1024 * 1024)
        Refuse(path, TooLarge);

    QImage picture;
    if (format == "bmp") {
        const std::optional<BmpHeader> header = ReadBmpHeader(file.bytes.left(54));
        if (header && BmpIsShort(*header, data, length))
            Refuse(path, Damaged);
        // Run-length pictures may skip pixels on purpose; Qt decodes into the picture it is handed
        // when size and format match, so the skipped ones come out in colour 0, not as stale memory.
        if (header && (header->compression == BmpRle8 || header->compression == BmpRle4) && size.isValid()) {
            picture = QImage(size, QImage::Format_Indexed8);
            if (picture.isNull())
                Refuse(path, TooLarge);
            picture.fill(0);
        }
    } else {
        const JpegEnd end = JpegEnding(data, length);
        if (end == JpegEnd::Short || (end == JpegEnd::InLastScan && !JpegScansComplete(data, length)))
            Refuse(path, Damaged);
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
            Refuse(path, NotAPicture);
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
