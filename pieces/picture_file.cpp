#include "picture_file.h"

#include "AppInfo.h"
#include "basic.h"
#include "pixel_memory.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <optional>

namespace {
// Every picture the 16-bit layout can hold (about 16000 pixels wide, 32000 high) fits in this.
constexpr int DecodeLimitMegabytes = 2600;

[[noreturn]] void Refuse(const QString& path, const QString& why)
{
    throw RuntimeError { Err::InvalidPicture,
        QStringLiteral("Poza \"%1\" nu poate fi deschisa: %2.").arg(QFileInfo(path).fileName(), why), true };
}

const QString Damaged = QStringLiteral("fisierul este deteriorat sau incomplet");
const QString NotAPicture = QStringLiteral("nu este o poza JPEG sau BMP");
const QString TooLarge = QStringLiteral("poza este prea mare pentru memoria disponibila");

// What a BMP header says about the pixel data that follows it.
struct BmpHeader {
    qint64 offset = 0;
    qint64 width = 0;
    qint64 height = 0;
    qint64 bits = 0;
    quint32 compression = 0;
};

constexpr quint32 BmpRgb = 0, BmpRle8 = 1, BmpRle4 = 2, BmpBitfields = 3, BmpAlphaBitfields = 6;

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

// libjpeg makes up grey blocks for a file cut short; the player should hear it is damaged instead.
// Segments are walked by their lengths, scans up to the next marker that is neither a stuffed byte
// nor a restart; the picture is whole when its end marker is reached.
bool JpegIsShort(const uchar* p, qint64 n)
{
    if (n < 2 || p[0] != 0xff || p[1] != 0xd8)
        return false;
    qint64 i = 2;
    for (;;) {
        while (i < n && p[i] != 0xff)
            ++i;
        while (i < n && p[i] == 0xff)
            ++i;
        if (i >= n)
            return true;
        const uchar marker = p[i++];
        if (marker == 0xd9)
            return false;
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7))
            continue;
        if (i + 2 > n)
            return true;
        i += (qint64(p[i]) << 8) | p[i + 1];
        if (i > n)
            return true;
        if (marker != 0xda)
            continue;
        for (;;) {
            while (i < n && p[i] != 0xff)
                ++i;
            if (i + 1 >= n)
                return true;
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

// The whole file, mapped where the system allows it.
class FileBytes {
public:
    explicit FileBytes(const QString& path)
        : file_(path)
    {
        if (!file_.open(QIODevice::ReadOnly))
            return;
        size_ = file_.size();
        data_ = size_ > 0 ? file_.map(0, size_) : nullptr;
        if (!data_ && size_ > 0) {
            copy_ = file_.readAll();
            data_ = reinterpret_cast<const uchar*>(copy_.constData());
            size_ = copy_.size();
        }
    }
    const uchar* data() const { return data_; }
    qint64 size() const { return data_ ? size_ : 0; }

private:
    QFile file_;
    QByteArray copy_;
    const uchar* data_ = nullptr;
    qint64 size_ = 0;
};
}

QSize PictureFileSize(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.size();
}

QImage LoadPictureFile(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        Refuse(path, QStringLiteral("fisierul nu exista"));
    if (info.isDir())
        Refuse(path, QStringLiteral("este un dosar, nu un fisier"));
    if (!info.isReadable())
        Refuse(path, QStringLiteral("fisierul nu poate fi citit"));
    if (info.size() == 0)
        Refuse(path, QStringLiteral("fisierul este gol"));

    QImageReader::setAllocationLimit(DecodeLimitMegabytes);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format().toLower();
    if (format != "jpeg" && format != "jpg" && format != "bmp")
        Refuse(path, NotAPicture);
    const QSize size = reader.size();
    if (size.isValid()
        && qint64(size.width()) * size.height() * 4 > qint64(DecodeLimitMegabytes) * 1024 * 1024)
        Refuse(path, TooLarge);

    QImage picture;
    {
        const FileBytes bytes(path);
        if (format == "bmp") {
            const QByteArray head(
                reinterpret_cast<const char*>(bytes.data()), std::min<qint64>(bytes.size(), 54));
            const std::optional<BmpHeader> header = ReadBmpHeader(head);
            if (header && BmpIsShort(*header, bytes.data(), bytes.size()))
                Refuse(path, Damaged);
            // Run-length pictures may skip pixels on purpose; Qt decodes into the picture it is handed
            // when size and format match, so the skipped ones come out in colour 0, not as stale memory.
            if (header && (header->compression == BmpRle8 || header->compression == BmpRle4)
                && size.isValid()) {
                picture = QImage(size, QImage::Format_Indexed8);
                if (picture.isNull())
                    Refuse(path, TooLarge);
                picture.fill(0);
            }
        } else if (JpegIsShort(bytes.data(), bytes.size())) {
            Refuse(path, Damaged);
        }
    }
    // Decoded straight into memory fit for a big picture; Qt keeps a picture it is handed whose
    // size and format match.
    if (picture.isNull() && size.isValid() && reader.imageFormat() == QImage::Format_RGB32)
        picture = NewLargeImage(size, QImage::Format_RGB32);
    if (!reader.read(&picture)) {
        switch (reader.error()) {
        case QImageReader::FileNotFoundError:
            Refuse(path, QStringLiteral("fisierul nu exista"));
        case QImageReader::DeviceError:
            Refuse(path, QStringLiteral("fisierul nu poate fi citit"));
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
