#include "jpeg_file.h"

#include "pixel_memory.h"
#include "refusal.h"
#include "side_work.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

#include <jpeglib.h>
// After the library's configuration, which decides which of its warnings exist.
#include <jerror.h>

namespace {
// libjpeg steps over stray bytes before a marker; a file that has nothing else for this long is no
// picture. Fill (0xff) before a marker is legal in any number.
constexpr qint64 MostStrayBytes = 64 * 1024;
// Application segments and comments are kept whole up to this much (colour profiles, the orientation,
// a photo editor's notes), so that a real file reaches the decoders as it is.
constexpr qint64 MostAsideBytes = 4 * 1024 * 1024;
// Tables are a few kilobytes; no file of a picture needs this much before its first scan.
constexpr qint64 MostHeadBytes = 2 * MostAsideBytes;

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

// Whether the data ends in a scan with rows of blocks still to come that no valid file leaves without
// bytes: arithmetic data is whole only with its end marker, and a Huffman code's one symbol may stand
// for at most 32767 empty blocks. Then the file was cut short, and is refused before the rest of the
// work.
bool CutInScan(j_decompress_ptr info)
{
    if (info->input_iMCU_row >= info->total_iMCU_rows)
        return false;
    if (info->arith_code)
        return true;
    const JDIMENSION left = info->total_iMCU_rows - info->input_iMCU_row;
    return left > 2 + 32767 / std::max<JDIMENSION>(info->MCUs_per_row, 1);
}

// The bytes the walks kept, fed to libjpeg: the segments before the first scan, then the scans.
// Where they stop without an end marker, one stands in, as libjpeg's own sources do.
struct MemorySource {
    jpeg_source_mgr manager; // first, so libjpeg's pointer to it points to the whole source
    ScanWatch* watch;
    std::array<QByteArrayView, 2> parts;
    size_t next = 0;

    static constexpr JOCTET End[2] = { 0xff, JPEG_EOI };

    static boolean Fill(j_decompress_ptr info)
    {
        auto* self = reinterpret_cast<MemorySource*>(info->src);
        while (self->next < self->parts.size() && self->parts[self->next].isEmpty())
            ++self->next;
        if (self->next == self->parts.size()) {
            self->watch->endMissing = true;
            if (CutInScan(info))
                StopDecoding(reinterpret_cast<j_common_ptr>(info));
            self->manager.next_input_byte = End;
            self->manager.bytes_in_buffer = 2;
            return TRUE;
        }
        const QByteArrayView part = self->parts[self->next++];
        self->manager.next_input_byte = reinterpret_cast<const JOCTET*>(part.data());
        self->manager.bytes_in_buffer = size_t(part.size());
        return TRUE;
    }
    static void Skip(j_decompress_ptr info, long count)
    {
        auto* self = reinterpret_cast<MemorySource*>(info->src);
        if (count <= 0)
            return;
        if (size_t(count) <= self->manager.bytes_in_buffer) {
            self->manager.next_input_byte += count;
            self->manager.bytes_in_buffer -= size_t(count);
            return;
        }
        qint64 left = qint64(count) - qint64(self->manager.bytes_in_buffer);
        self->manager.bytes_in_buffer = 0;
        for (; left > 0 && self->next < self->parts.size(); ++self->next) {
            QByteArrayView& part = self->parts[self->next];
            if (left < part.size()) {
                part = part.sliced(qsizetype(left));
                return;
            }
            left -= part.size();
        }
    }
    static void Nothing(j_decompress_ptr) { }

    MemorySource(QByteArrayView segments, QByteArrayView scans, ScanWatch& w)
        : watch(&w)
        , parts { QByteArrayView(segments), QByteArrayView(scans) }
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

// Called by libjpeg as it goes: it notes the earliest row of blocks at which a scan's coded data had
// run out (its decoder met the marker after it, a restart aside), which for arithmetic coding is the
// only sign that data is missing.
struct Progress {
    jpeg_progress_mgr manager; // first, so libjpeg's pointer to it points to the whole monitor
    JDIMENSION dataEnded = std::numeric_limits<JDIMENSION>::max();
    // Told how far the decode has come, by libjpeg's passes; the player may give the open up there, and
    // the decode then stops as a damaged file's does.
    FileWindow* file;

    static void Note(j_common_ptr common)
    {
        auto* info = reinterpret_cast<j_decompress_ptr>(common);
        auto* self = reinterpret_cast<Progress*>(common->progress);
        const bool restart = info->unread_marker >= JPEG_RST0 && info->unread_marker <= JPEG_RST0 + 7;
        if (info->unread_marker != 0 && !restart)
            self->dataEnded = std::min(self->dataEnded, info->input_iMCU_row);
        const jpeg_progress_mgr& m = self->manager;
        constexpr qint64 Pass = 1000;
        const qint64 within
            = m.pass_limit > 0 ? Pass * std::min(m.pass_counter, m.pass_limit) / m.pass_limit : 0;
        if (!self->file->goesOn(Pass * m.completed_passes + within, Pass * std::max(1, m.total_passes)))
            StopDecoding(common);
    }

    explicit Progress(FileWindow& f)
        : file(&f)
    {
        manager.progress_monitor = Note;
        manager.pass_counter = 0;
        manager.pass_limit = 0;
        manager.completed_passes = 0;
        manager.total_passes = 0;
    }
};

// The coefficients of a picture stored in several scans (progressive above all), the whole picture of
// them, which libjpeg keeps in arrays it asks its memory manager for: given here in work memory.
// From malloc they came in small pages, and clearing them faulted every 4 KB, over a tenth of the
// first decode of a 48-megapixel progressive photo.
struct BlockArrays {
    struct Array {
        JDIMENSION blocksPerRow;
        JDIMENSION rows;
        WorkMemory memory;
        std::vector<JBLOCKROW> rowStarts;
    };
    std::vector<std::unique_ptr<Array>> arrays;
    bool outOfMemory = false;
    void (*realizeOwn)(j_common_ptr) = nullptr;

    // Takes over the whole-picture arrays of the decode `info` makes.
    void serve(j_decompress_ptr info)
    {
        info->client_data = this;
        realizeOwn = info->mem->realize_virt_arrays;
        info->mem->request_virt_barray = Request;
        info->mem->realize_virt_arrays = Realize;
        info->mem->access_virt_barray = Access;
    }

    static BlockArrays& Of(j_common_ptr common) { return *static_cast<BlockArrays*>(common->client_data); }
    [[noreturn]] static void NoMemory(j_common_ptr common)
    {
        Of(common).outOfMemory = true;
        ERREXIT(common, JERR_OUT_OF_MEMORY);
        std::abort(); // error_exit never returns
    }

    static jvirt_barray_ptr Request(
        j_common_ptr common, int pool, boolean, JDIMENSION blocksPerRow, JDIMENSION rows, JDIMENSION)
    {
        if (pool != JPOOL_IMAGE)
            ERREXIT1(common, JERR_BAD_POOL_ID, pool);
        BlockArrays& self = Of(common);
        // libjpeg's way out of a call is a jump, which must not leave from inside a handler.
        bool made = false;
        try {
            self.arrays.push_back(std::make_unique<Array>(Array { blocksPerRow, rows, {}, {} }));
            made = true;
        } catch (const std::bad_alloc&) {
        }
        if (!made)
            NoMemory(common);
        return reinterpret_cast<jvirt_barray_ptr>(self.arrays.back().get());
    }

    static void Realize(j_common_ptr common)
    {
        BlockArrays& self = Of(common);
        self.realizeOwn(common);
        for (const std::unique_ptr<Array>& a : self.arrays) {
            if (a->memory)
                continue;
            const qsizetype rowBytes = qsizetype(a->blocksPerRow) * qsizetype(sizeof(JBLOCK));
            qsizetype bytes = 0;
            if (__builtin_mul_overflow(rowBytes, qsizetype(a->rows), &bytes))
                NoMemory(common);
            a->memory = NewWorkMemory(bytes);
            bool made = a->memory != nullptr;
            try {
                if (made)
                    a->rowStarts.resize(a->rows);
            } catch (const std::bad_alloc&) {
                made = false;
            }
            if (!made)
                NoMemory(common);
            // Cleared, as libjpeg asks of them: each scan adds its bits to what those before it left.
            // A big picture's take long enough for a player to give the open up meanwhile.
            constexpr qsizetype Step = qsizetype(64) << 20;
            FileWindow* file
                = common->progress ? reinterpret_cast<Progress*>(common->progress)->file : nullptr;
            if (file)
                file->stage(ReadStage::ReadyingMemory);
            for (qsizetype at = 0; at < bytes; at += Step) {
                std::memset(a->memory.get() + at, 0, std::size_t(std::min(Step, bytes - at)));
                if (file && !file->goesOn(at, bytes))
                    StopDecoding(common);
            }
            if (file)
                file->stage(ReadStage::Decoding);
            for (JDIMENSION r = 0; r < a->rows; ++r)
                a->rowStarts[r] = reinterpret_cast<JBLOCKROW>(a->memory.get() + qsizetype(r) * rowBytes);
        }
    }

    static JBLOCKARRAY Access(
        j_common_ptr common, jvirt_barray_ptr array, JDIMENSION first, JDIMENSION count, boolean)
    {
        Array* a = reinterpret_cast<Array*>(array);
        if (!a->memory || first > a->rows || count > a->rows - first)
            ERREXIT(common, JERR_BAD_VIRTUAL_ACCESS);
        return a->rowStarts.data() + first;
    }
};

}

namespace {
// A row of w pixels in ink, as libjpeg gives them (cyan, magenta, yellow, black), turned in place into
// screen pixels. Adobe's programs, which write nearly every picture in ink, store each ink inverted
// (255: none); those values are taken as the share of light the ink lets through, and black's share
// dims the other three: the colours players have always seen of these pictures, to the last bit.
void InkToScreen(JSAMPROW row, int w)
{
    auto* out = reinterpret_cast<quint32*>(row);
    for (int x = 0; x < w; ++x, row += 4) {
        const unsigned c = row[0], m = row[1], y = row[2], k = row[3];
        out[x] = qRgb(int(k * c / 255), int(k * m / 255), int(k * y / 255));
    }
}

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
    // The picture's rows through one pointer: asking the picture for each row checks it for sharing
    // every time, and a turned picture asks for all of them in every band.
    uchar* const bits = to.bits();
    const qsizetype stride = to.bytesPerLine();
    for (int x = 0; x < w; ++x) {
        auto* out = reinterpret_cast<quint32*>(bits + (mirror ? w - 1 - x : x) * stride);
        for (int i = 0; i < n; ++i)
            out[h - 1 - (flip ? h - 1 - (y0 + i) : y0 + i)] = reinterpret_cast<const quint32*>(rows[i])[x];
    }
}

// Writes a turned picture's bands on the other core while the decoder makes the next ones: a few
// bands of rows take turns, decoded into while the others are written across the picture. The writer
// also takes the first touch of the picture's pages off the decoder: its first band reaches every
// one of them, meanwhile the decoder fills the other bands. Where no thread is to be had, each band
// is written as it is handed over.
class TurnAside {
public:
    TurnAside(QImage& picture, int w, int h, QImageIOHandler::Transformations turn)
        : picture_(picture)
        , w_(w)
        , h_(h)
        , turn_(turn)
    {
        const std::size_t rowBytes = std::size_t(w) * 4;
        slots_.resize(std::size_t(std::clamp<qint64>(MostBytes / qint64(rowBytes * Band), 2, 8)));
        samples_ = NewWorkMemory(qsizetype(slots_.size() * rowBytes * Band));
        if (!samples_)
            throw std::bad_alloc();
        auto* row = reinterpret_cast<JSAMPLE*>(samples_.get());
        for (Slot& slot : slots_)
            for (JSAMPROW& r : slot.rows) {
                r = row;
                row += rowBytes;
            }
        // It waits for bands handed over: where no thread is to be had, hand() writes them itself.
        writer_.emplace([this] { writeHanded(); }, SideWork::Alone::LeftUndone);
    }
    ~TurnAside()
    {
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        writer_.reset();
    }
    TurnAside(const TurnAside&) = delete;
    TurnAside& operator=(const TurnAside&) = delete;

    static constexpr int Band = 32;
    // Rows to decode the next band into, once the band last written from them is in the picture.
    JSAMPARRAY rows()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !slots_[next_].handed; });
        return slots_[next_].rows.data();
    }
    // The rows last asked for hold the picture's stored rows [y0, y0 + n).
    void hand(int y0, int n)
    {
        Slot& slot = slots_[next_];
        next_ = (next_ + 1) % slots_.size();
        if (!writer_->alongside()) {
            WriteTurned(picture_, slot.rows.data(), y0, n, w_, h_, turn_);
            return;
        }
        {
            const std::lock_guard lock(mutex_);
            slot.y0 = y0;
            slot.n = n;
            slot.handed = true;
        }
        changed_.notify_all();
    }
    // Once every band handed over is in the picture.
    void finish()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
            return std::none_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.handed; });
        });
    }

private:
    struct Slot {
        std::array<JSAMPROW, Band> rows {};
        int y0 = 0, n = 0;
        bool handed = false;
    };
    void writeHanded()
    {
        std::unique_lock lock(mutex_);
        for (std::size_t at = 0;; at = (at + 1) % slots_.size()) {
            changed_.wait(lock, [&] { return quit_ || slots_[at].handed; });
            if (!slots_[at].handed)
                return;
            Slot& slot = slots_[at];
            lock.unlock();
            WriteTurned(picture_, slot.rows.data(), slot.y0, slot.n, w_, h_, turn_);
            lock.lock();
            slot.handed = false;
            changed_.notify_all();
        }
    }
    QImage& picture_;
    const int w_, h_;
    const QImageIOHandler::Transformations turn_;
    // The bands decoded ahead take at most this much memory, and at least two bands.
    static constexpr qint64 MostBytes = qint64(4) << 20;
    std::vector<Slot> slots_;
    WorkMemory samples_;
    std::size_t next_ = 0;
    bool quit_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<SideWork> writer_;
};

// Whether every row of the picture as stored, from "from" on, repeats the row "period" rows above it;
// "picture" holds it turned upright as WriteTurned writes it.
bool RepeatsFrom(
    const QImage& picture, int from, int period, int w, int h, QImageIOHandler::Transformations turn)
{
    const bool mirror = turn & QImageIOHandler::TransformationMirror;
    const bool flip = turn & QImageIOHandler::TransformationFlip;
    const bool turned = turn & QImageIOHandler::TransformationRotate90;
    const auto at = [&](int x, int y) {
        const int row = flip ? h - 1 - y : y, column = mirror ? w - 1 - x : x;
        return turned ? reinterpret_cast<const quint32*>(picture.constScanLine(column))[h - 1 - row]
                      : reinterpret_cast<const quint32*>(picture.constScanLine(row))[column];
    };
    for (int y = std::max(from, period); y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (at(x, y) != at(x, y - period))
                return false;
    return true;
}

// The picture decoded once, at full size, strictly: the same pass that makes the pixels hears every
// warning that means a pixel would not be the file's, and then the picture is refused as damaged.
// The pixels go straight into memory fit for a big picture, turned upright as they are written;
// colours stored as ink become screen colours on their way (InkToScreen). The walk of the scans
// already made sure that they leave no coefficient out; a file that stops without its end marker is
// whole when its last scan's data was not cut short: arithmetic coding reads past the end of its
// data by design, so there, as for any other doubt, the answer is no.
//
// The picture, the pages made ready for it and the coefficients' arrays belong to the caller, so that a
// decode given up midway leaves libjpeg's own state and memory alone behind, which it frees.
JpegDecoded DecodeJpegInto(const JpegHead& head, const JpegScans& scans, FileWindow& file, JpegDecoded& out,
    std::optional<PagesAhead>& ahead, std::optional<TurnAside>& aside, BlockArrays& blocks,
    std::optional<RowsTold>& told)
{
    const QImageIOHandler::Transformations turn = head.turn;
    jpeg_decompress_struct info {};
    ScanWatch watch;
    MemorySource source(head.segments, scans.data.view(), watch);
    Progress progress(file);
    info.err = jpeg_std_error(&watch.manager);
    watch.manager.error_exit = StopDecoding;
    watch.manager.emit_message = NoteWarning;
    if (setjmp(watch.stop)) {
        jpeg_destroy_decompress(&info);
        if (file.givenUp())
            throw OpenGivenUp();
        return { blocks.outOfMemory ? JpegDecoded::TooLarge : JpegDecoded::Damaged, QImage() };
    }
    jpeg_create_decompress(&info);
    blocks.serve(&info);
    info.src = &source.manager;
    info.progress = &progress.manager;
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return out;
    }
    // Ink comes out as four samples a pixel, as many bytes as a screen pixel: it is decoded where the
    // pixel goes and turned into its screen colour there.
    const bool ink = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = ink ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    const int w = int(info.output_width), h = int(info.output_height);
    const bool turned = turn & QImageIOHandler::TransformationRotate90;
    out.picture = NewLargeImage(turned ? QSize(h, w) : QSize(w, h), QImage::Format_RGB32);
    if (out.picture.isNull()) {
        jpeg_destroy_decompress(&info);
        return { JpegDecoded::TooLarge, QImage() };
    }
    if (turn == QImageIOHandler::TransformationNone) {
        ahead.emplace(out.picture);
        told.emplace(file.rows(), out.picture);
    } else {
        try {
            aside.emplace(out.picture, w, h, turn);
        } catch (const std::bad_alloc&) {
            jpeg_destroy_decompress(&info);
            return { JpegDecoded::TooLarge, QImage() };
        }
        file.stage(ReadStage::Turning);
    }
    const auto toScreen = [&](const JSAMPROW* rows, int n) {
        for (int i = 0; ink && i < n; ++i)
            InkToScreen(rows[i], w);
    };
    // A band of rows at a time: a turned picture is written across, a band's rows at once.
    constexpr int Band = TurnAside::Band;
    const bool straight = turn == QImageIOHandler::TransformationNone;
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
            toScreen(rows, done);
            told->arrived(y0, y0 + done);
            continue;
        }
        JSAMPARRAY into = aside->rows();
        int n = 0;
        while (n < Band && info.output_scanline < info.output_height && !watch.madeUp)
            n += int(jpeg_read_scanlines(&info, into + n, JDIMENSION(Band - n)));
        toScreen(into, n);
        if (n > 0)
            aside->hand(y0, n);
    }
    if (aside)
        aside->finish();
    // An arithmetic coder leaves out the bytes at the end of a scan that the decoder can do without,
    // so its data may end well before the last block, where the rest of the picture is one colour or
    // the same blocks over again. Data cut short and closed with an end marker reads as the same
    // kind of end, but what the decoder then makes up drifts from row to row: refused. (A
    // progressive file's scans are whole by the walk; one cut inside its last scan, marker put back,
    // lacks the last bit of some detail, which no test here can tell from a valid file.)
    const int period = info.max_v_samp_factor * info.min_DCT_scaled_size;
    const qint64 repeatFrom = (qint64(progress.dataEnded) + 2) * period;
    if (info.arith_code && !info.progressive_mode && repeatFrom < h
        && !RepeatsFrom(out.picture, int(repeatFrom), period, w, h, turn))
        watch.madeUp = true;
    if (watch.madeUp) {
        jpeg_destroy_decompress(&info);
        return { JpegDecoded::Damaged, QImage() };
    }
    // Read on to the end, so that what lies after the last block is heard of too.
    const bool arithmetic = info.arith_code;
    jpeg_finish_decompress(&info);
    const bool whole = !watch.madeUp && (!watch.endMissing || !arithmetic);
    jpeg_destroy_decompress(&info);
    if (!whole)
        return { JpegDecoded::Damaged, QImage() };
    return { JpegDecoded::Shown, out.picture };
}

}

JpegDecoded DecodeJpegStrictly(const JpegHead& head, const JpegScans& scans, FileWindow& file)
{
    JpegDecoded out { JpegDecoded::Damaged, QImage() };
    std::optional<PagesAhead> ahead;
    std::optional<TurnAside> aside;
    BlockArrays blocks;
    std::optional<RowsTold> told;
    const JpegDecoded decoded = DecodeJpegInto(head, scans, file, out, ahead, aside, blocks, told);
    told.reset();
    aside.reset();
    ahead.reset();
    return decoded;
}

// A kind is named when the decoder has no reader for it: it reads 8-bit pictures, sequential or
// progressive, Huffman or arithmetic.
JpegHead ReadJpegHead(FileWindow& f, const QString& path)
{
    JpegHead head { {}, QImageIOHandler::TransformationNone, {}, QByteArray("\xff\xd8", 2), {}, 0 };
    bool frame = false;
    qint64 asides = 0; // bytes of application segments and comments kept
    ForwardReader r(f, 2);
    const auto ended = [&] { Refuse(path, r.failed() ? Why::CannotRead : Why::Damaged); };
    for (;;) {
        qint64 stray = 0;
        int marker = 0;
        do {
            // Stray bytes, then the fill before a marker, which may run on for any length.
            for (QByteArrayView a = r.ahead(); !a.isEmpty() && a[0] != char(0xff); a = r.ahead()) {
                const qsizetype n = std::find(a.begin(), a.end(), char(0xff)) - a.begin();
                r.take(n);
                stray += n;
                if (stray > MostStrayBytes)
                    Refuse(path, Why::Damaged);
            }
            if (r.next() != 0xff)
                ended();
            for (QByteArrayView a = r.ahead(); !a.isEmpty() && a[0] == char(0xff); a = r.ahead())
                r.take(std::find_if(a.begin(), a.end(), [](char c) { return c != char(0xff); }) - a.begin());
            marker = r.next();
            if (marker < 0)
                ended();
            stray += 2;
        } while (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7));
        // An end before any picture data: nothing to show. A second start: the headers of another
        // picture run into this one's, which no decoder reads as one picture.
        if (marker == 0xd9 || marker == 0xd8)
            Refuse(path, Why::Damaged);
        const qint64 at = r.at() - 2;
        const int high = r.next(), low = r.next();
        const qint64 length = (qint64(std::max(high, 0)) << 8) | std::max(low, 0);
        if (high < 0 || low < 0 || length < 2 || at + 2 + length > f.size())
            Refuse(path, Why::Damaged);
        QByteArray segment;
        segment.append(char(0xff));
        segment.append(char(marker));
        segment.append(char(high));
        segment.append(char(low));
        const auto keep = [&](qint64 n) {
            if (!r.copy(n, segment))
                ended();
        };
        switch (marker) {
        case 0xc0:
        case 0xc1:
        case 0xc2:
        case 0xc9:
        case 0xca: {
            keep(length - 2);
            const QByteArray sof = segment.sliced(2);
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
            head.frame = JpegFrame { width, height, marker == 0xc2 || marker == 0xca, {} };
            const int count = sof.size() > 7 ? uchar(sof[7]) : 0;
            if (count < 1 || sof.size() != 8 + 3 * count)
                Refuse(path, Why::Damaged);
            for (int c = 0; c < count; ++c) {
                const int id = uchar(sof[8 + 3 * c]), h = uchar(sof[9 + 3 * c]) >> 4,
                          v = uchar(sof[9 + 3 * c]) & 15;
                if (h < 1 || h > 4 || v < 1 || v > 4)
                    Refuse(path, Why::Damaged);
                head.frame.components.append({ id, h, v });
            }
            if (height > 0 && width > 0)
                head.announced = QSize(width, height);
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
        case 0xda: {
            if (!frame)
                Refuse(path, Why::Damaged);
            keep(length - 2);
            head.firstScan = segment;
            head.dataAt = r.at();
            // The segments up to the scan tell the orientation; an end marker makes them a whole file.
            if (head.announced.isValid()) {
                head.turn = Turn(head.segments + head.firstScan + QByteArray("\xff\xd9", 2));
                if (head.turn & QImageIOHandler::TransformationRotate90)
                    head.announced.transpose();
            }
            return head;
        }
        default:
            if ((marker >= 0xe0 && marker <= 0xef) || marker == 0xfe) {
                asides += length;
                if (asides > MostAsideBytes) {
                    // Past the allowance only the few bytes libjpeg reads of the segments that say how
                    // colours are stored are kept, as their own short segments.
                    const qint64 kept
                        = marker == 0xe0 || marker == 0xee ? std::min<qint64>(length - 2, 14) : 0;
                    if (kept == 0) {
                        r.skip(length - 2);
                        continue;
                    }
                    segment[2] = 0;
                    segment[3] = char(kept + 2);
                    keep(kept);
                    r.skip(length - 2 - kept);
                    break;
                }
            }
            keep(length - 2);
        }
        head.segments += segment;
        if (head.segments.size() > MostHeadBytes)
            Refuse(path, Why::Damaged);
    }
}
