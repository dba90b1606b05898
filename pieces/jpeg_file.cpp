#include "jpeg_file.h"

#include "pixel_memory.h"
#include "refusal.h"

#include <QBuffer>
#include <QtEndian>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <limits>
#include <optional>

#include <jpeglib.h>
// After the library's configuration, which decides which of its warnings exist.
#include <jerror.h>

namespace {
// libjpeg steps over stray bytes and fill before a marker; a file that has nothing else for this
// long is no picture.
constexpr qint64 MostStrayBytes = 64 * 1024;

// How the orientation in a photo's headers asks for it to be turned to stand upright.
QImageIOHandler::Transformations Turn(const QByteArray& headers)
{
    QBuffer buffer;
    buffer.setData(headers);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    return reader.transformation();
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
    // How far the decode has come: the coded data read, then the rows made, each weighed as the whole
    // file. An open the player gives up stops as a damaged file does, and is then given up.
    static void Report(j_common_ptr common)
    {
        auto* info = reinterpret_cast<j_decompress_ptr>(common);
        auto* self = reinterpret_cast<FileSource*>(info->src);
        const qint64 size = self->file->size();
        const qint64 read = std::clamp<qint64>(self->next - qint64(self->manager.bytes_in_buffer), 0, size);
        const qint64 rows = info->output_height ? size * info->output_scanline / info->output_height : 0;
        if (!self->file->goesOn(read + rows, 2 * size))
            StopDecoding(common);
    }

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

}

namespace {
// Writes rows [y0, y0 + n) of a picture stored w x h into `to`, turned upright as its orientation
// says: mirrored and flipped first, then turned a quarter clockwise, as the picture's own header
// asks. A turned picture is written a column at a time, a few rows of it at once, so that the turn
// costs no second copy of the picture.
void WriteTurned(
    QImage& to, const JSAMPROW* rows, int y0, int n, int w, int h, QImageIOHandler::Transformations turn)
{
    const bool mirror = turn & QImageIOHandler::TransformationMirror;
    const bool flip = turn & QImageIOHandler::TransformationFlip;
    if (!(turn & QImageIOHandler::TransformationRotate90)) {
        for (int i = 0; i < n; ++i) {
            const auto* from = reinterpret_cast<const quint32*>(rows[i]);
            auto* out = reinterpret_cast<quint32*>(to.scanLine(flip ? h - 1 - (y0 + i) : y0 + i));
            if (mirror)
                std::reverse_copy(from, from + w, out);
            else
                std::copy(from, from + w, out);
        }
        return;
    }
    for (int x = 0; x < w; ++x) {
        auto* out = reinterpret_cast<quint32*>(to.scanLine(mirror ? w - 1 - x : x));
        for (int i = 0; i < n; ++i)
            out[h - 1 - (flip ? h - 1 - (y0 + i) : y0 + i)] = reinterpret_cast<const quint32*>(rows[i])[x];
    }
}

// The picture decoded once, at full size, strictly: the same pass that makes the pixels hears every
// warning that means a pixel would not be the file's, and then the picture is refused as damaged.
// The pixels go straight into memory fit for a big picture, turned upright as they are written.
// Colours stored as ink (CMYK) are left to Qt's reader, which turns them into screen colours its own
// way: "ElsewhereIfWhole" when this pass found their data whole, "Damaged" when not. A file that stops
// without its end marker is whole when the scans it has leave nothing out and nothing over;
// arithmetic coding reads past the end of its data by design, so there, as for any other doubt, the
// answer is no.
//
// The picture and the pages made ready for it belong to the caller, so that a decode given up midway
// leaves libjpeg's own state and memory alone behind, which it frees.
JpegDecoded DecodeJpegInto(FileWindow& file, QImageIOHandler::Transformations turn, JpegDecoded& out,
    std::optional<PagesAhead>& ahead)
{
    jpeg_decompress_struct info {};
    ScanWatch watch;
    FileSource source(file, watch);
    info.err = jpeg_std_error(&watch.manager);
    watch.manager.error_exit = StopDecoding;
    watch.manager.emit_message = NoteWarning;
    jpeg_progress_mgr progress { FileSource::Report, 0, 0, 0, 0 };
    if (setjmp(watch.stop)) {
        jpeg_destroy_decompress(&info);
        if (file.givenUp())
            throw OpenGivenUp();
        return { JpegDecoded::Damaged, QImage() };
    }
    jpeg_create_decompress(&info);
    info.src = &source.manager;
    if (file.reportsProgress())
        info.progress = &progress;
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return out;
    }
    // Real files take about a byte a sample at the very most (random noise at the highest quality,
    // no colour subsampled): a file whose data runs past four beyond its headers holds something
    // else, and is not read on to its end. A progressive picture gathers all its scans before its
    // last block is decoded, so for it only this bound stops early.
    source.mostToRead = source.next + qint64(info.image_width) * info.image_height * info.num_components * 4
        + FileSource::MostAfterLastBlock;
    const bool ink = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    if (ink) {
        // Only the check is made here: at an eighth of the size it reads all of the coded data but
        // spends little on pixels.
        info.scale_num = 1;
        info.scale_denom = 8;
        info.dct_method = JDCT_IFAST;
        info.do_fancy_upsampling = FALSE;
    } else {
        info.out_color_space = JCS_EXT_BGRX;
    }
    jpeg_start_decompress(&info);
    const int w = int(info.output_width), h = int(info.output_height);
    if (!ink) {
        const bool turned = turn & QImageIOHandler::TransformationRotate90;
        out.picture = NewLargeImage(turned ? QSize(h, w) : QSize(w, h), QImage::Format_RGB32);
        if (out.picture.isNull()) {
            jpeg_destroy_decompress(&info);
            return { JpegDecoded::TooLarge, QImage() };
        }
        ahead.emplace(out.picture);
    }
    // A band of rows at a time: a turned picture is written across, a band's rows at once.
    constexpr int Band = 16;
    const int rowSamples = int(info.output_width) * info.output_components;
    JSAMPARRAY band = (*info.mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, JDIMENSION(ink ? rowSamples : w * 4), Band);
    const bool straight = !ink && turn == QImageIOHandler::TransformationNone;
    while (info.output_scanline < info.output_height && !watch.madeUp) {
        const int y0 = int(info.output_scanline);
        if (straight) {
            // Upright pictures are decoded straight into their rows.
            JSAMPROW rows[Band];
            const int n = std::min(Band, h - y0);
            for (int i = 0; i < n; ++i)
                rows[i] = out.picture.scanLine(y0 + i);
            int done = 0;
            while (done < n && !watch.madeUp)
                done += int(jpeg_read_scanlines(&info, rows + done, JDIMENSION(n - done)));
            continue;
        }
        int n = 0;
        while (n < Band && info.output_scanline < info.output_height && !watch.madeUp)
            n += int(jpeg_read_scanlines(&info, band + n, JDIMENSION(Band - n)));
        if (!ink && n > 0)
            WriteTurned(out.picture, band, y0, n, w, h, turn);
    }
    if (watch.madeUp) {
        jpeg_destroy_decompress(&info);
        return { JpegDecoded::Damaged, QImage() };
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
    if (!whole)
        return { JpegDecoded::Damaged, QImage() };
    if (ink)
        return { JpegDecoded::ElsewhereIfWhole, QImage() };
    return { JpegDecoded::Shown, out.picture };
}

}

JpegDecoded DecodeJpegStrictly(FileWindow& file, QImageIOHandler::Transformations turn)
{
    JpegDecoded out { JpegDecoded::Damaged, QImage() };
    std::optional<PagesAhead> ahead;
    const JpegDecoded decoded = DecodeJpegInto(file, turn, out, ahead);
    ahead.reset();
    return decoded;
}

// A kind is named when the decoder has no reader for it: it reads 8-bit pictures, sequential or
// progressive, Huffman or arithmetic.
JpegHead ReadJpegHead(FileWindow& f, const QString& path)
{
    QSize stored; // as the frame gives it, before any turn
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
            Refuse(path, Why::Damaged);
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8))
            continue;
        // An end before any picture data: nothing to show.
        if (marker == 0xd9)
            Refuse(path, Why::Damaged);
        const int high = f.at(i), low = f.at(i + 1);
        const qint64 length = (qint64(std::max(high, 0)) << 8) | std::max(low, 0);
        if (high < 0 || low < 0 || length < 2 || i + length > f.size())
            Refuse(path, Why::Damaged);
        switch (marker) {
        case 0xc0:
        case 0xc1:
        case 0xc2:
        case 0xc9:
        case 0xca: {
            const QByteArray sof = f.bytes(i, std::min<qint64>(length, 8));
            if (sof.size() < 7)
                Refuse(path, Why::Damaged);
            // The DCT processes code 8 or 12 bits a sample; any other figure is damage, not a kind.
            const int precision = uchar(sof[2]);
            if (precision == 12)
                RefuseKind(path, QStringLiteral("un JPEG pe 12 biți"), PictureKind::Jpeg);
            if (precision != 8)
                Refuse(path, Why::Damaged);
            const int height = qFromBigEndian<quint16>(sof.constData() + 3),
                      width = qFromBigEndian<quint16>(sof.constData() + 5);
            if (height > 0 && width > 0)
                stored = QSize(width, height);
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
                Refuse(path, Why::Damaged);
            // The segments up to the scan tell the orientation; an end marker makes them a whole file.
            JpegHead head { stored, QImageIOHandler::TransformationNone };
            if (stored.isValid()) {
                head.turn = Turn(f.bytes(0, i + length) + QByteArray("\xff\xd9", 2));
                if (head.turn & QImageIOHandler::TransformationRotate90)
                    head.announced.transpose();
            }
            return head;
        }
        i += length;
    }
}

QImage DecodeJpeg(QImageReader& reader, const QString& path)
{
    return DecodeWithQt(reader, path);
}
