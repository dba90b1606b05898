#include "jpeg_walk.h"

#include "refusal.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

namespace {
// libjpeg steps over stray bytes before a marker; a file that has nothing else for this long is no
// picture. Fill (0xff) before a marker is legal in any number.
constexpr qint64 MostStrayBytes = 64 * 1024;
// Tables are a few kilobytes; no picture needs this much of them before its first scan.
constexpr qint64 MostTableBytes = 1024 * 1024;

// The work a file's scans ask, counted in blocks visited: each scan visits every block of the
// components it holds, and starting one costs the decoder about as much as a thousand blocks. Encoders'
// own scripts visit a block at most six times (libjpeg's progression of any picture not in three
// colours), so the largest picture the board takes (16383 x 32767) in four colours at full size asks
// some 201 million visits; a 16000 x 12000 photo whose hundred scans give each coefficient of its
// light its own scan asks 218 million, and one in 700 scans two billion: half a minute of decoding.
// Past this budget a file is refused before anything is decoded, however small or large its picture.
constexpr qint64 MostBlockVisits = qint64(200) << 20;
constexpr qint64 ScanVisits = 1024;

// Real files take about a byte a sample at the very most (random noise at the highest quality, no
// colour subsampled): data that runs past four beyond that, with no end in sight, holds something
// else and is not read on.
constexpr qint64 MostBytesPerSample = 4;
constexpr qint64 MostBytesOver = 1024 * 1024;

// libjpeg reads this much of an APP0 (JFIF) or APP14 (Adobe) segment, which say how colours are stored.
constexpr qint64 ColourBytes = 14;

constexpr int SOI = 0xd8, EOI = 0xd9, SOS = 0xda, APP0 = 0xe0, APP1 = 0xe1, APP14 = 0xee, COM = 0xfe;

bool IsRestart(int marker)
{
    return marker >= 0xd0 && marker <= 0xd7;
}

// Application segments and comments: the decoder has no use for them but what APP0 and APP14 say.
bool IsAside(int marker)
{
    return (marker >= APP0 && marker <= 0xef) || marker == COM;
}

// Reads a file forward from a place, a piece at a time, and steps over what is not needed without
// reading it: after a step the next piece is small, and pieces grow while the reading goes on.
class ForwardReader {
public:
    ForwardReader(FileWindow& f, qint64 at)
        : file_(&f)
        , at_(at)
    {
    }
    // The next byte, or -1 at the end of the file (or where it could not be read).
    int next()
    {
        const QByteArrayView a = ahead();
        if (a.isEmpty())
            return -1;
        ++pos_;
        return uchar(a[0]);
    }
    // The bytes read but not yet taken, reading more when none are left; empty at the end.
    QByteArrayView ahead()
    {
        if (pos_ < piece_.size() || failed_)
            return QByteArrayView(piece_).sliced(std::min(pos_, piece_.size()));
        at_ += piece_.size();
        pos_ = 0;
        // A file of many megabytes takes a while to walk: the player waiting on it may give it up.
        file_->goOn(at_, file_->size());
        piece_.resize(next_);
        qint64 got = file_->read(piece_.data(), at_, next_);
        if (got < 0) {
            failed_ = true;
            got = 0;
        }
        piece_.resize(qsizetype(got));
        next_ = std::min(next_ * 2, LargestPiece);
        return QByteArrayView(piece_);
    }
    void take(qsizetype n) { pos_ += n; }
    // Steps over n bytes, reading none of them that were not read already.
    void skip(qint64 n)
    {
        if (n <= piece_.size() - pos_) {
            pos_ += qsizetype(n);
            return;
        }
        at_ = at() + n;
        piece_.clear();
        pos_ = 0;
        next_ = FirstPiece;
    }
    // Appends the next n bytes to "to"; false when the file ends first.
    template <typename Bytes> bool copy(qint64 n, Bytes& to)
    {
        while (n > 0) {
            const QByteArrayView a = ahead();
            if (a.isEmpty())
                return false;
            const qsizetype k = qsizetype(std::min<qint64>(n, a.size()));
            to.append(a.first(k));
            take(k);
            n -= k;
        }
        return true;
    }
    qint64 at() const { return at_ + pos_; }
    bool failed() const { return failed_; }

private:
    static constexpr qsizetype FirstPiece = 1024;
    static constexpr qsizetype LargestPiece = 256 * 1024;
    FileWindow* file_;
    qint64 at_; // where piece_ starts in the file
    QByteArray piece_;
    qsizetype pos_ = 0;
    qsizetype next_ = FirstPiece;
    bool failed_ = false;
};

// Which bits of each coefficient of each component the scans so far brought, and the work they ask.
struct Coverage {
    const JpegFrame& frame;
    // Per component, per coefficient: the lowest bit that has data so far, -1 for none yet.
    std::vector<std::array<int, 64>> bits;
    std::vector<qint64> blocks; // per component
    qint64 visits = 0;

    explicit Coverage(const JpegFrame& f)
        : frame(f)
    {
        int hMost = 1, vMost = 1;
        for (const JpegFrame::Component& c : f.components) {
            hMost = std::max(hMost, c.h);
            vMost = std::max(vMost, c.v);
        }
        for (const JpegFrame::Component& c : f.components) {
            const qint64 w = (qint64(f.width) * c.h + hMost - 1) / hMost,
                         h = (qint64(f.height) * c.v + vMost - 1) / vMost;
            blocks.push_back(((w + 7) / 8) * ((h + 7) / 8));
            bits.emplace_back();
            bits.back().fill(-1);
        }
    }

    // A scan's header (after its length), refused where the decoder would refuse it or make up data
    // for it, or where the scans so far ask too much work.
    void take(QByteArrayView header)
    {
        const int count = header.isEmpty() ? 0 : uchar(header[0]);
        if (count < 1 || count > 4 || header.size() != 1 + 2 * count + 3)
            Refuse(RefusalCause::JpegScanHeader);
        const int ss = uchar(header[1 + 2 * count]), se = uchar(header[2 + 2 * count]),
                  ah = uchar(header[3 + 2 * count]) >> 4, al = uchar(header[3 + 2 * count]) & 15;
        if (frame.progressive) {
            const bool bad = (ss == 0 && se != 0) || (ss != 0 && (ss > se || se > 63 || count != 1))
                || (ah != 0 && al != ah - 1) || al > 13;
            if (bad)
                Refuse(RefusalCause::JpegScanHeader);
        }
        visits += ScanVisits;
        for (int i = 0; i < count; ++i) {
            const int id = uchar(header[1 + 2 * i]);
            const auto c = std::find_if(frame.components.begin(), frame.components.end(),
                [id](const JpegFrame::Component& k) { return k.id == id; });
            if (c == frame.components.end())
                Refuse(RefusalCause::JpegScanComponent);
            const qsizetype index = c - frame.components.begin();
            visits += blocks[size_t(index)];
            std::array<int, 64>& coefficient = bits[size_t(index)];
            if (!frame.progressive) {
                coefficient.fill(0);
                continue;
            }
            // The first bits of a coefficient come with Ah 0; each refinement brings the next one.
            if (ss > 0 && coefficient[0] < 0)
                Refuse(RefusalCause::JpegProgression);
            for (int k = ss; k <= se; ++k) {
                if (ah != std::max(coefficient[size_t(k)], 0))
                    Refuse(RefusalCause::JpegProgression);
                coefficient[size_t(k)] = al;
            }
        }
        if (visits > MostBlockVisits)
            Refuse(RefusalCause::JpegTooMuchWork);
    }

    // Every coefficient of every component down to its last bit.
    bool whole() const
    {
        for (const std::array<int, 64>& c : bits)
            if (std::any_of(c.begin(), c.end(), [](int b) { return b != 0; }))
                return false;
        return true;
    }
};

// A frame header (after its length) of a kind the decoder reads: 8-bit, sequential or progressive,
// Huffman or arithmetic. A kind is named when the decoder has no reader for it.
JpegFrame ReadFrame(int marker, QByteArrayView sof)
{
    if (sof.size() < 6)
        Refuse(RefusalCause::JpegFrameHeader);
    // The DCT processes code 8 or 12 bits a sample; any other figure is damage, not a kind.
    const int precision = uchar(sof[0]);
    if (precision == 12)
        RefuseKind(QStringLiteral("un JPEG pe 12 biți"), PictureKind::Jpeg);
    if (precision != 8)
        Refuse(RefusalCause::JpegPrecision);
    JpegFrame frame { qFromBigEndian<quint16>(sof.data() + 3), qFromBigEndian<quint16>(sof.data() + 1),
        marker == 0xc2 || marker == 0xca, {} };
    const int count = uchar(sof[5]);
    if (count < 1 || sof.size() != 6 + 3 * count)
        Refuse(RefusalCause::JpegFrameHeader);
    for (int c = 0; c < count; ++c) {
        const int id = uchar(sof[6 + 3 * c]), h = uchar(sof[7 + 3 * c]) >> 4, v = uchar(sof[7 + 3 * c]) & 15;
        if (h < 1 || h > 4 || v < 1 || v > 4)
            Refuse(RefusalCause::JpegSampling);
        frame.components.append({ id, h, v });
    }
    return frame;
}

// Frames of kinds the decoder has no reader for, named for the player; empty for any other marker.
QString UnreadableFrame(int marker)
{
    switch (marker) {
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
    default:
        return {};
    }
}

bool IsFrame(int marker)
{
    return marker == 0xc0 || marker == 0xc1 || marker == 0xc2 || marker == 0xc9 || marker == 0xca;
}
}

JpegWalk WalkJpeg(FileWindow& f, const std::function<void(QSize announced)>& headersRead)
{
    JpegWalk walk;
    // Before the first scan, what the decoder needs is gathered here; from it on, in walk.kept.
    QByteArray tables("\xff\xd8", 2);
    bool framed = false, scanning = false, oriented = false;
    std::optional<Coverage> coverage;
    qint64 mostBytes = 0;
    ForwardReader r(f, 2);
    const auto keep = [&](QByteArrayView bytes) {
        if (!scanning) {
            tables.append(bytes);
            if (tables.size() > MostTableBytes)
                Refuse(RefusalCause::JpegTablesTooLong);
            return;
        }
        walk.kept.append(bytes);
        if (walk.kept.size() > mostBytes)
            Refuse(RefusalCause::JpegDataPastBound);
    };
    const auto brokenOff
        = [&] { Refuse(r.failed() ? RefusalCause::CannotRead : RefusalCause::JpegEndsInSegment); };
    qint64 stray = 0; // since the last marker
    for (;;) {
        // Between segments, before the first scan: stray bytes, then the fill before a marker, which
        // may run on for any length. Once the scans begin, whatever lies before a marker is a scan's
        // coded data: a 0xff followed by anything but a stuffed zero or a restart ends it.
        int marker = -1;
        for (;;) {
            const QByteArrayView a = r.ahead();
            if (a.isEmpty())
                break;
            const void* ff = std::memchr(a.data(), 0xff, size_t(a.size()));
            const qsizetype n = ff ? static_cast<const char*>(ff) - a.data() : a.size();
            if (scanning) {
                keep(a.first(n));
            } else {
                stray += n;
                if (stray > MostStrayBytes)
                    Refuse(RefusalCause::JpegStrayBytes);
            }
            r.take(n);
            if (!ff)
                continue;
            r.take(1);
            int next = r.next();
            bool filled = false;
            for (; next == 0xff; next = r.next())
                filled = true;
            // Fill comes only before a marker: before a stuffed zero it makes a byte that one decoder
            // reads as data and another as the end of the data.
            if (scanning && next == 0x00 && filled)
                Refuse(RefusalCause::JpegFillInData);
            if (next == 0x00 || IsRestart(next) || (!scanning && next == 0x01)) {
                if (scanning) {
                    const char pair[2] = { char(0xff), char(next) };
                    keep(QByteArrayView(pair, 2));
                } else {
                    stray += 2;
                }
                continue;
            }
            marker = next;
            stray = 0;
            break;
        }
        if (marker < 0) {
            if (!scanning || r.failed())
                brokenOff();
            // The file ends without its end marker: whole only if the scans leave nothing out. A
            // progressive file's last scan refines what all the others laid down, so only decoding
            // every scan could tell a whole one from one cut short, which for a big photo takes many
            // seconds; a file that lost its end marker is incomplete anyway, and is refused at once.
            if (walk.frame.progressive)
                Refuse(RefusalCause::JpegProgressiveWithoutEnd);
            break;
        }
        // An end before any picture data: nothing to show. A second start: the headers of another
        // picture run into this one's, which no decoder reads as one picture.
        if (marker == EOI && !scanning)
            Refuse(RefusalCause::JpegEndBeforeScans);
        if (marker == EOI) {
            keep(QByteArrayView("\xff\xd9", 2));
            walk.ended = true;
            break;
        }
        if (marker == SOI)
            Refuse(RefusalCause::JpegSecondStart);
        if (marker == 0x01) {
            // In coded data, no length follows: the decoder says what it means there.
            keep(QByteArrayView("\xff\x01", 2));
            continue;
        }
        const int high = r.next(), low = r.next();
        if (high < 0 || low < 0)
            brokenOff();
        const qint64 length = (qint64(high) << 8) | low;
        if (length < 2)
            Refuse(RefusalCause::JpegSegmentLength);
        if (r.at() + length - 2 > f.size())
            Refuse(RefusalCause::JpegEndsInSegment);
        const char head[4] = { char(0xff), char(marker), char(high), char(low) };
        if (IsAside(marker)) {
            if (marker == APP1 && !oriented && !scanning && length - 2 >= 6) {
                // The orientation: read here, once, and the segment's bytes not kept.
                QByteArray payload;
                if (!r.copy(length - 2, payload))
                    brokenOff();
                const std::optional<Turn> turn = ExifTurn(payload);
                oriented = turn.has_value();
                walk.turn = turn.value_or(QImageIOHandler::TransformationNone);
                continue;
            }
            const qint64 kept = marker == APP0 || marker == APP14 ? std::min(length - 2, ColourBytes) : 0;
            if (kept > 0) {
                // Its own short segment, of the few bytes the decoder reads of it.
                QByteArray segment(head, 4);
                segment[2] = 0;
                segment[3] = char(kept + 2);
                if (!r.copy(kept, segment))
                    brokenOff();
                keep(segment);
            }
            r.skip(length - 2 - kept);
            continue;
        }
        const QString kind = UnreadableFrame(marker);
        if (!kind.isEmpty() && !framed)
            RefuseKind(kind, PictureKind::Jpeg);
        QByteArray segment(head, 4);
        if (!r.copy(length - 2, segment))
            brokenOff();
        if (IsFrame(marker) || !kind.isEmpty()) {
            if (framed)
                Refuse(RefusalCause::JpegSecondFrame);
            walk.frame = ReadFrame(marker, QByteArrayView(segment).sliced(4));
            framed = true;
        }
        if (marker == SOS && !scanning) {
            if (!framed)
                Refuse(RefusalCause::JpegScanBeforeFrame);
            if (walk.frame.width > 0 && walk.frame.height > 0)
                walk.announced = Upright(QSize(walk.frame.width, walk.frame.height), walk.turn);
            if (headersRead)
                headersRead(walk.announced);
            f.stage(ReadStage::WalkingScans);
            coverage.emplace(walk.frame);
            mostBytes = qint64(walk.frame.width) * walk.frame.height * walk.frame.components.size()
                    * MostBytesPerSample
                + MostBytesOver + tables.size();
            try {
                // Room for what the file may hold, claimed but not yet written: growing it step by step
                // would copy it over and over.
                walk.kept.reserve(qsizetype(std::min(f.size(), mostBytes) + tables.size() + 2));
            } catch (const std::bad_alloc&) {
            }
            scanning = true;
            keep(tables);
            tables.clear();
        }
        if (marker == SOS)
            coverage->take(QByteArrayView(segment).sliced(4));
        keep(segment);
    }
    if (!coverage->whole())
        Refuse(RefusalCause::JpegCoefficientWithoutData);
    return walk;
}
