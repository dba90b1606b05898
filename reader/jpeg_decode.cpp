#include "jpeg_decode.h"

#include "pixel_memory.h"
#include "refusal.h"
#include "side_work.h"

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
// How the coded data ended, gathered as the decode goes: the source hears that the bytes stopped
// without an end marker, the progress monitor the earliest row of blocks at which a scan's data ran
// out (its decoder met the marker after it, a restart aside). Judged by JudgeEnd alone.
struct DataEnd {
    bool endMissing = false;
    JDIMENSION ranOut = std::numeric_limits<JDIMENSION>::max();
};

// libjpeg goes on with made-up data where a scan is missing, cut short or corrupt, and tells it only
// by a warning; the watch keeps the first cause that means a pixel would not be the file's.
struct ScanWatch {
    jpeg_error_mgr manager; // first, so libjpeg's pointer to it points to the whole watch
    std::jmp_buf stop;
    std::optional<RefusalCause> refused;
    DataEnd end;

    void refuse(RefusalCause cause)
    {
        if (!refused)
            refused = cause;
    }
};

ScanWatch& WatchOf(j_common_ptr info)
{
    return *reinterpret_cast<ScanWatch*>(info->err);
}

void NoteWarning(j_common_ptr info, int level)
{
    if (level >= 0)
        return;
    ScanWatch& watch = WatchOf(info);
    switch (info->err->msg_code) {
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
        watch.refuse(RefusalCause::JpegMadeUpData);
        break;
    case JWRN_EXTRANEOUS_DATA:
        // Data past the last block of a file that then stops without its end: the rest of a picture
        // this one is not, or the zeros a broken download leaves.
        if (watch.end.endMissing)
            watch.refuse(RefusalCause::JpegDataAfterLastBlock);
        break;
    default:
        // Stray bytes between segments, unknown revisions, a bad colour profile: nothing lost.
        break;
    }
}

[[noreturn]] void StopDecoding(j_common_ptr info)
{
    std::longjmp(WatchOf(info).stop, 1);
}

// Whether every row of the picture as stored, from "from" on, repeats the row "period" rows above it.
bool RepeatsFrom(const QImage& picture, int from, int period, int w, int h, Turn turn)
{
    for (int y = std::max(from, period); y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (StoredPixel(picture, x, y, w, h, turn) != StoredPixel(picture, x, y - period, w, h, turn))
                return false;
    return true;
}

// How the data ended, judged: while decoding (no picture yet) when the bytes ran out, and once the
// picture is whole.
//
// A Huffman code's one symbol stands for at most 32767 empty blocks, so data that ends with more rows
// of blocks to come than that (and the two last rows an encoder may leave) was cut short.
//
// Arithmetic-coded data that ends early is padded with zeros by the standard: an encoder leaves out
// the bytes at the end of a scan that the decoder can do without, so its data may end well before the
// last block, where the rest of the picture is one colour or the same blocks over again. A cut file,
// its end marker put back, ends the same way; it cannot be told from a valid one where its made-up
// rows come out flat, but what the decoder makes up from zeros mostly drifts from row to row, and
// that is refused: past the row of blocks in which the data ran out (the decoder reads a few bytes
// ahead), every row must repeat the one above. (A progressive file's scans are whole by the walk; one cut
// inside its last scan, marker put back, lacks the last bit of some detail, which nothing here can tell from
// a valid file.) Without its end marker, arithmetic data is never taken as whole.
std::optional<RefusalCause> JudgeEnd(
    const DataEnd& end, j_decompress_ptr info, const QImage* picture = nullptr, Turn turn = {})
{
    if (end.endMissing && info->arith_code)
        return RefusalCause::JpegArithmeticWithoutEnd;
    if (!picture) {
        const JDIMENSION left = info->total_iMCU_rows - std::min(info->input_iMCU_row, info->total_iMCU_rows);
        if (end.endMissing && left > 2 + 32767 / std::max<JDIMENSION>(info->MCUs_per_row, 1))
            return RefusalCause::JpegCutInScan;
        return std::nullopt;
    }
    const int w = int(info->output_width), h = int(info->output_height);
    const int period = info->max_v_samp_factor * info->min_DCT_scaled_size;
    const qint64 repeatFrom = (qint64(end.ranOut) + 1) * period;
    if (info->arith_code && !info->progressive_mode && repeatFrom < h
        && !RepeatsFrom(*picture, int(repeatFrom), period, w, h, turn))
        return RefusalCause::JpegArithmeticDrifts;
    return std::nullopt;
}

// The bytes the walk kept, fed to libjpeg. Where they stop without an end marker, one stands in, as
// libjpeg's own sources do, unless the data was cut short.
struct MemorySource {
    jpeg_source_mgr manager; // first, so libjpeg's pointer to it points to the whole source
    KeptBytes& kept;
    QByteArrayView bytes;
    bool given = false;

    static constexpr JOCTET End[2] = { 0xff, JPEG_EOI };

    static boolean Fill(j_decompress_ptr info)
    {
        auto* self = reinterpret_cast<MemorySource*>(info->src);
        if (!self->given && !self->bytes.isEmpty()) {
            self->given = true;
            self->manager.next_input_byte = reinterpret_cast<const JOCTET*>(self->bytes.data());
            self->manager.bytes_in_buffer = size_t(self->bytes.size());
            return TRUE;
        }
        ScanWatch& watch = WatchOf(reinterpret_cast<j_common_ptr>(info));
        watch.end.endMissing = true;
        if (const std::optional<RefusalCause> cause = JudgeEnd(watch.end, info)) {
            watch.refuse(*cause);
            StopDecoding(reinterpret_cast<j_common_ptr>(info));
        }
        self->manager.next_input_byte = End;
        self->manager.bytes_in_buffer = 2;
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
        self->manager.bytes_in_buffer = 0;
        self->given = true;
    }
    static void Nothing(j_decompress_ptr) { }

    // libjpeg reads its source forwards only: what it has read is given back.
    void letGoRead()
    {
        const auto* first = reinterpret_cast<const JOCTET*>(bytes.data());
        if (given && manager.next_input_byte >= first && manager.next_input_byte <= first + bytes.size())
            kept.letGoBefore(manager.next_input_byte - first);
    }

    explicit MemorySource(KeptBytes& walked)
        : kept(walked)
        , bytes(walked.view())
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

// Called by libjpeg as it goes: it notes where a scan's coded data ran out, and tells how far the
// decode has come, by libjpeg's passes; the player may give the open up there, and the decode then
// stops.
struct Progress {
    jpeg_progress_mgr manager; // first, so libjpeg's pointer to it points to the whole monitor
    FileWindow* file;

    static void Note(j_common_ptr common)
    {
        auto* info = reinterpret_cast<j_decompress_ptr>(common);
        auto* self = reinterpret_cast<Progress*>(common->progress);
        const bool restart = info->unread_marker >= JPEG_RST0 && info->unread_marker <= JPEG_RST0 + 7;
        DataEnd& end = WatchOf(common).end;
        if (info->unread_marker != 0 && !restart)
            end.ranOut = std::min(end.ranOut, info->input_iMCU_row);
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

// Writes a turned picture's bands on the other core while the decoder makes the next ones: a few
// bands of rows take turns, decoded into while the others are written across the picture. The writer
// also takes the first touch of the picture's pages off the decoder: its first band reaches every
// one of them, meanwhile the decoder fills the other bands. Where no thread is to be had, each band
// is written as it is handed over.
class TurnAside {
public:
    TurnAside(QImage& picture, int w, int h, Turn turn)
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
            WriteUpright(picture_, slot.rows.data(), y0, n, w_, h_, turn_);
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
            WriteUpright(picture_, slot.rows.data(), slot.y0, slot.n, w_, h_, turn_);
            lock.lock();
            slot.handed = false;
            changed_.notify_all();
        }
    }
    QImage& picture_;
    const int w_, h_;
    const Turn turn_;
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

// The picture, the pages made ready for it, the coefficients' arrays and the bands on their way upright
// belong to the caller, so that a decode given up midway leaves libjpeg's own state and memory alone
// behind, which it frees.
struct DecodeMemory {
    QImage picture;
    std::optional<PagesAhead> ahead;
    std::optional<TurnAside> aside;
    BlockArrays blocks;
    std::optional<RowsTold> told;

    ~DecodeMemory()
    {
        told.reset();
        aside.reset();
        ahead.reset();
    }
};

// The decode itself: on any stop it raises the cause, once libjpeg's state is gone.
void DecodeInto(JpegWalk& walk, FileWindow& file, DecodeMemory& m)
{
    const Turn turn = walk.turn;
    jpeg_decompress_struct info {};
    ScanWatch watch;
    MemorySource source(walk.kept);
    Progress progress(file);
    info.err = jpeg_std_error(&watch.manager);
    watch.manager.error_exit = StopDecoding;
    watch.manager.emit_message = NoteWarning;
    if (setjmp(watch.stop)) {
        jpeg_destroy_decompress(&info);
        if (file.givenUp())
            throw OpenGivenUp();
        Refuse(m.blocks.outOfMemory ? RefusalCause::NoMemory
                                    : watch.refused.value_or(RefusalCause::JpegDecoderStopped));
    }
    const auto stop = [&](RefusalCause cause) {
        jpeg_destroy_decompress(&info);
        Refuse(cause);
    };
    jpeg_create_decompress(&info);
    m.blocks.serve(&info);
    info.src = &source.manager;
    info.progress = &progress.manager;
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK)
        stop(RefusalCause::JpegDecoderStopped);
    // Ink comes out as four samples a pixel, as many bytes as a screen pixel: it is decoded where the
    // pixel goes and turned into its screen colour there.
    const bool ink = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = ink ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    // A file in several scans has been read whole by now, before its picture takes memory.
    source.letGoRead();
    const int w = int(info.output_width), h = int(info.output_height);
    m.picture = NewLargeImage(Upright(QSize(w, h), turn), QImage::Format_RGB32);
    if (m.picture.isNull())
        stop(RefusalCause::NoMemory);
    const bool straight = turn == QImageIOHandler::TransformationNone;
    if (straight) {
        m.ahead.emplace(m.picture, true);
        m.told.emplace(file.rows(), m.picture);
    } else {
        try {
            m.aside.emplace(m.picture, w, h, turn);
        } catch (const std::bad_alloc&) {
            stop(RefusalCause::NoMemory);
        }
        file.stage(ReadStage::Turning);
    }
    const auto toScreen = [&](const JSAMPROW* rows, int n) {
        for (int i = 0; ink && i < n; ++i)
            InkToScreen(rows[i], w);
    };
    // A band of rows at a time: a turned picture is written across, a band's rows at once.
    constexpr int Band = TurnAside::Band;
    while (info.output_scanline < info.output_height && !watch.refused) {
        const int y0 = int(info.output_scanline);
        if (straight) {
            // Upright pictures are decoded straight into their rows.
            JSAMPROW rows[Band];
            const int n = std::min(Band, h - y0);
            for (int i = 0; i < n; ++i)
                rows[i] = m.picture.scanLine(y0 + i);
            int done = 0;
            while (done < n && !watch.refused)
                done += int(jpeg_read_scanlines(&info, rows + done, JDIMENSION(n - done)));
            toScreen(rows, done);
            m.told->arrived(y0, y0 + done);
            m.ahead->wroteRows(y0 + done);
            source.letGoRead();
            continue;
        }
        JSAMPARRAY into = m.aside->rows();
        int n = 0;
        while (n < Band && info.output_scanline < info.output_height && !watch.refused)
            n += int(jpeg_read_scanlines(&info, into + n, JDIMENSION(Band - n)));
        toScreen(into, n);
        if (n > 0)
            m.aside->hand(y0, n);
        source.letGoRead();
    }
    if (m.aside)
        m.aside->finish();
    if (!watch.refused)
        if (const std::optional<RefusalCause> cause = JudgeEnd(watch.end, &info, &m.picture, turn))
            watch.refuse(*cause);
    // Read on to the end, so that what lies after the last block is heard of too.
    if (!watch.refused)
        jpeg_finish_decompress(&info);
    if (watch.refused)
        stop(*watch.refused);
    jpeg_destroy_decompress(&info);
}
}

QImage DecodeJpeg(JpegWalk& walk, FileWindow& file)
{
    DecodeMemory m;
    DecodeInto(walk, file, m);
    return m.picture;
}
