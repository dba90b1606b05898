#include "TestPictures.h"

#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtEndian>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

QImage TestPicture(int width, int height, int salt)
{
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(
                (x * 5 + y * 3 + salt) & 0xff, ((x * 11) ^ (y * 7)) & 0xff, (x + 2 * y + 3 * salt) & 0xff);
    }
    return img;
}

QString WriteTestPicture(const QTemporaryDir& dir, const QString& name, int width, int height, int salt)
{
    const QString path = dir.filePath(name);
    QImageWriter writer(path);
    if (name.endsWith(QLatin1String(".jpg")) || name.endsWith(QLatin1String(".jpeg")))
        writer.setQuality(95);
    writer.write(TestPicture(width, height, salt));
    return path;
}

QString WriteBytes(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

QImage Solid(QSize size, QRgb c)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

QImage Laid(const QImage& under, QPoint at, const QImage& block)
{
    QImage out = under.convertToFormat(QImage::Format_RGB32);
    QPainter p(&out);
    p.drawImage(at, block);
    return out;
}

QImage Cut(const QImage& from, const QRect& r, bool flipH, bool flipV)
{
    return from.copy(r).mirrored(flipH, flipV).convertToFormat(QImage::Format_RGB32);
}

QPoint FirstDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return QPoint(0, 0);
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col)
            if ((x.pixel(col, row) & 0xffffff) != (y.pixel(col, row) & 0xffffff))
                return QPoint(col, row);
    return QPoint(-1, -1);
}

QByteArray MaskedBmp(
    const QImage& picture, int bits, const std::array<quint32, 4>& masks, quint32 header, QImage* shown)
{
    const int w = picture.width(), h = picture.height(), stride = ((w * bits + 31) / 32) * 4;
    const quint32 offset = 14 + header + (header == 40 ? 12 : 0);
    QByteArray out(int(offset) + stride * h, 0);
    auto u32 = [&](int at, quint32 v) { qToLittleEndian(v, out.data() + at); };
    out[0] = 'B';
    out[1] = 'M';
    u32(2, quint32(out.size()));
    u32(10, offset);
    u32(14, header);
    u32(18, quint32(w));
    u32(22, quint32(h));
    qToLittleEndian<quint16>(1, out.data() + 26);
    qToLittleEndian<quint16>(quint16(bits), out.data() + 28);
    u32(30, 3);
    u32(34, quint32(stride * h));
    for (int c = 0; c < (header >= 56 ? 4 : 3); ++c)
        u32(54 + 4 * c, masks[c]);
    *shown = QImage(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb source = picture.pixel(x, y);
            const int channels[4] = { qRed(source), qGreen(source), qBlue(source), 255 };
            quint32 packed = 0;
            int seen[3] = { 0, 0, 0 };
            for (int c = 0; c < 4; ++c) {
                if (masks[c] == 0)
                    continue;
                const int shift = std::countr_zero(masks[c]);
                const quint64 top = quint64(masks[c]) >> shift;
                const quint64 value = (channels[c] * top + 127) / 255;
                packed |= quint32(value << shift);
                if (c < 3)
                    seen[c] = int((value * 255 + top / 2) / top);
            }
            shown->setPixel(x, y, qRgb(seen[0], seen[1], seen[2]));
            // Rows are stored bottom row first.
            char* at = out.data() + offset + stride * (h - 1 - y) + x * bits / 8;
            if (bits == 16)
                qToLittleEndian(quint16(packed), at);
            else
                qToLittleEndian(packed, at);
        }
    return out;
}

QByteArray Os2Bmp(int w, int h, int bits, int entries, QImage* shown)
{
    const int stride = ((w * bits + 31) / 32) * 4, offset = 26 + 3 * entries;
    QByteArray out(offset + stride * h, 0);
    out[0] = 'B';
    out[1] = 'M';
    qToLittleEndian(quint32(out.size()), out.data() + 2);
    qToLittleEndian(quint32(offset), out.data() + 10);
    qToLittleEndian(quint32(12), out.data() + 14);
    qToLittleEndian(quint16(w), out.data() + 18);
    qToLittleEndian(quint16(h), out.data() + 20);
    qToLittleEndian(quint16(1), out.data() + 22);
    qToLittleEndian(quint16(bits), out.data() + 24);
    QList<QRgb> palette;
    for (int i = 0; i < entries; ++i) {
        palette << qRgb(255 - i * 13 % 256, i * 37 % 256, i * 91 % 256);
        out[26 + 3 * i] = char(qBlue(palette[i]));
        out[27 + 3 * i] = char(qGreen(palette[i]));
        out[28 + 3 * i] = char(qRed(palette[i]));
    }
    *shown = QImage(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int index = (x * 7 + y * 3) % entries;
            shown->setPixel(x, y, palette[index]);
            char* row = out.data() + offset + stride * (h - 1 - y);
            row[x * bits / 8] = char(row[x * bits / 8] | (index << (8 - bits - x * bits % 8)));
        }
    return out;
}

QByteArray LibJpegWith(const QImage& picture, bool grey,
    const std::function<void(jpeg_compress_struct&)>& set, const QByteArray& profile)
{
    const bool ink = picture.format() == QImage::Format_RGBA8888;
    const QImage samples
        = ink ? picture : picture.convertToFormat(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    jpeg_compress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &bytes, &size);
    info.image_width = JDIMENSION(samples.width());
    info.image_height = JDIMENSION(samples.height());
    info.input_components = ink ? 4 : grey ? 1 : 3;
    info.in_color_space = ink ? JCS_CMYK : grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    set(info);
    jpeg_start_compress(&info, TRUE);
    if (!profile.isEmpty())
        jpeg_write_icc_profile(
            &info, reinterpret_cast<const JOCTET*>(profile.constData()), uint(profile.size()));
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const QByteArray out(reinterpret_cast<const char*>(bytes), qsizetype(size));
    std::free(bytes);
    return out;
}

QByteArray InkJpeg(const QImage& picture, bool ycck, bool progressive, bool arithmetic)
{
    // The colours, then the black.
    QImage samples = picture.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < picture.height(); ++y)
        for (uchar* p = samples.scanLine(y); p < samples.scanLine(y) + 4 * picture.width(); p += 4)
            p[3] = uchar(255 - ((p[0] * 3 + p[1] + p[2] * 7) & 0x1f));
    return LibJpegWith(samples, false, [&](jpeg_compress_struct& info) {
        if (ycck)
            jpeg_set_colorspace(&info, JCS_YCCK);
        info.write_Adobe_marker = TRUE;
        info.arith_code = arithmetic;
        if (progressive)
            jpeg_simple_progression(&info);
    });
}

QByteArray LibJpeg(const QImage& picture, bool arithmetic, bool progressive, const QList<JpegScan>& script)
{
    std::vector<jpeg_scan_info> scans;
    for (const JpegScan& s : script) {
        jpeg_scan_info scan {};
        scan.comps_in_scan = int(s.components.size());
        for (int i = 0; i < scan.comps_in_scan; ++i)
            scan.component_index[i] = s.components[i];
        scan.Ss = s.ss;
        scan.Se = s.se;
        scan.Ah = s.ah;
        scan.Al = s.al;
        scans.push_back(scan);
    }
    return LibJpegWith(picture, false, [&](jpeg_compress_struct& info) {
        jpeg_set_quality(&info, 90, TRUE);
        info.arith_code = arithmetic;
        if (progressive)
            jpeg_simple_progression(&info);
        if (!scans.empty()) {
            info.scan_info = scans.data();
            info.num_scans = int(scans.size());
        }
    });
}
