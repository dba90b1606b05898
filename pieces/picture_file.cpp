#include "picture_file.h"

#include "AppInfo.h"
#include "basic.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

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

// Qt fills the rows of a short, uncompressed BMP with whatever memory held; refuse those.
bool BmpIsShort(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(54);
    if (head.size() < 26 || !head.startsWith("BM"))
        return false;
    auto u32 = [&](int at) { return qFromLittleEndian<quint32>(head.constData() + at); };
    auto u16 = [&](int at) { return qFromLittleEndian<quint16>(head.constData() + at); };
    const qint64 offset = u32(10);
    const quint32 dibSize = u32(14);
    qint64 width = 0, height = 0, bits = 0, compression = 0;
    if (dibSize == 12) {
        width = u16(18);
        height = u16(20);
        bits = u16(24);
    } else if (dibSize >= 40 && head.size() >= 34) {
        width = static_cast<qint32>(u32(18));
        height = static_cast<qint32>(u32(22));
        bits = u16(28);
        compression = u32(30);
    } else {
        return false;
    }
    // Only uncompressed rows have a size known in advance.
    if (compression != 0 && compression != 3 && compression != 6)
        return false;
    if (width <= 0 || bits <= 0)
        return false;
    height = height < 0 ? -height : height;
    const qint64 stride = ((width * bits + 31) / 32) * 4;
    return f.size() < offset + stride * height;
}
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
    if (size.isValid() && qint64(size.width()) * size.height() * 4 > qint64(DecodeLimitMegabytes) * 1024 * 1024)
        Refuse(path, TooLarge);
    if (format == "bmp" && BmpIsShort(path))
        Refuse(path, Damaged);

    QImage picture;
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
