#include "jpeg_scans.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

namespace {
// Real encoders write a few dozen scans at the most (a progressive colour photo: about ten) and
// visit each block of the picture some six times over them. A file that asks for much more holds
// the game for as long as it likes (a 16000 x 12000 photo in 704 scans: half a minute) and is not
// decoded.
constexpr int MostScans = 64;
constexpr qint64 MostVisitsPerBlock = 12;

// Real files take about a byte a sample at the very most (random noise at the highest quality, no
// colour subsampled): data that runs past four beyond that, with no end in sight, holds something
// else and is not read on.
constexpr qint64 MostBytesPerSample = 4;
constexpr qint64 MostBytesOver = 1024 * 1024;

bool IsRestart(int marker)
{
    return marker >= 0xd0 && marker <= 0xd7;
}

// Application segments and comments: nothing the decoder looks at once the scans began.
bool IsAside(int marker)
{
    return (marker >= 0xe0 && marker <= 0xef) || marker == 0xfe;
}

// Which bits of each coefficient of each component the scans so far brought.
struct Coverage {
    const JpegFrame& frame;
    // Per component, per coefficient: the lowest bit that has data so far, -1 for none yet.
    std::vector<std::array<int, 64>> bits;
    std::vector<qint64> blocks; // per component
    qint64 allBlocks = 0;
    qint64 visits = 0;
    int scans = 0;

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
            allBlocks += blocks.back();
            bits.emplace_back();
            bits.back().fill(-1);
        }
    }

    // A scan's header (after its length); false when the decoder would refuse it or make up data
    // for it.
    bool take(const QByteArray& header)
    {
        const int count = header.isEmpty() ? 0 : uchar(header[0]);
        if (count < 1 || count > 4 || header.size() != 1 + 2 * count + 3)
            return false;
        const int ss = uchar(header[1 + 2 * count]), se = uchar(header[2 + 2 * count]),
                  ah = uchar(header[3 + 2 * count]) >> 4, al = uchar(header[3 + 2 * count]) & 15;
        if (frame.progressive) {
            const bool bad = (ss == 0 && se != 0) || (ss != 0 && (ss > se || se > 63 || count != 1))
                || (ah != 0 && al != ah - 1) || al > 13;
            if (bad)
                return false;
        }
        ++scans;
        for (int i = 0; i < count; ++i) {
            const int id = uchar(header[1 + 2 * i]);
            const auto c = std::find_if(frame.components.begin(), frame.components.end(),
                [id](const JpegFrame::Component& k) { return k.id == id; });
            if (c == frame.components.end())
                return false;
            const qsizetype index = c - frame.components.begin();
            visits += blocks[size_t(index)];
            std::array<int, 64>& coefficient = bits[size_t(index)];
            if (!frame.progressive) {
                coefficient.fill(0);
                continue;
            }
            // The first bits of a coefficient come with Ah 0; each refinement brings the next one.
            if (ss > 0 && coefficient[0] < 0)
                return false;
            for (int k = ss; k <= se; ++k) {
                if (ah != std::max(coefficient[size_t(k)], 0))
                    return false;
                coefficient[size_t(k)] = al;
            }
        }
        return true;
    }

    bool tooMuch() const { return scans > MostScans || visits > MostVisitsPerBlock * allBlocks; }

    // Every coefficient of every component down to its last bit.
    bool whole() const
    {
        for (const std::array<int, 64>& c : bits)
            if (std::any_of(c.begin(), c.end(), [](int b) { return b != 0; }))
                return false;
        return true;
    }
};
}

int ForwardReader::next()
{
    const QByteArrayView a = ahead();
    if (a.isEmpty())
        return -1;
    ++pos_;
    return uchar(a[0]);
}

QByteArrayView ForwardReader::ahead()
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

void ForwardReader::skip(qint64 n)
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

bool ForwardReader::copy(qint64 n, QByteArray& to)
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

JpegScans WalkJpegScans(FileWindow& f, const JpegFrame& frame, const QByteArray& firstScan, qint64 dataAt)
{
    JpegScans out;
    Coverage coverage(frame);
    if (firstScan.size() < 4 || !coverage.take(firstScan.sliced(4)))
        return out;
    const qint64 mostBytes
        = qint64(frame.width) * frame.height * frame.components.size() * MostBytesPerSample + MostBytesOver;
    ForwardReader r(f, dataAt);
    try {
        // Room for what the file may hold, claimed but not yet written: growing it step by step would
        // copy it over and over.
        out.data.reserve(qsizetype(std::min(f.size() - dataAt, mostBytes) + firstScan.size() + 2));
    } catch (const std::bad_alloc&) {
    }
    out.data.append(QByteArrayView(firstScan));
    for (;;) {
        // The coded data, up to a marker: a 0xff followed by anything but a stuffed zero or a restart.
        int marker = -1;
        for (;;) {
            const QByteArrayView a = r.ahead();
            if (a.isEmpty())
                break;
            const void* ff = std::memchr(a.data(), 0xff, size_t(a.size()));
            const qsizetype n = ff ? static_cast<const char*>(ff) - a.data() : a.size();
            out.data.append(a.first(n));
            r.take(n);
            if (out.data.size() > mostBytes)
                return out;
            if (!ff)
                continue;
            r.take(1);
            int next = r.next();
            bool filled = false;
            for (; next == 0xff; next = r.next())
                filled = true;
            // Fill comes only before a marker: before a stuffed zero it makes a byte that one decoder
            // reads as data and another as the end of the data.
            if (next == 0x00 && filled)
                return out;
            if (next == 0x00 || IsRestart(next)) {
                out.data.append(char(0xff));
                out.data.append(char(next));
                continue;
            }
            marker = next;
            break;
        }
        if (marker < 0) {
            // The file ends without its end marker: whole only if the scans leave nothing out. A
            // progressive file's last scan refines what all the others laid down, so only decoding
            // every scan could tell a whole one from one cut short, which for a big photo takes many
            // seconds; a file that lost its end marker is incomplete anyway, and is refused at once.
            if (frame.progressive)
                return out;
            break;
        }
        if (marker == 0xd9) {
            out.data.append(QByteArrayView("\xff\xd9", 2));
            out.ended = true;
            break;
        }
        if (marker == 0x01 || marker == 0xd8) {
            // No length follows: the decoder says what they mean here.
            out.data.append(char(0xff));
            out.data.append(char(marker));
            continue;
        }
        const int high = r.next(), low = r.next();
        const qint64 length = (qint64(high) << 8) | low;
        if (high < 0 || low < 0 || length < 2)
            return out;
        if (IsAside(marker)) {
            r.skip(length - 2);
            continue;
        }
        QByteArray segment;
        segment.append(char(0xff));
        segment.append(char(marker));
        segment.append(char(high));
        segment.append(char(low));
        if (!r.copy(length - 2, segment))
            return out;
        if (marker == 0xda) {
            if (!coverage.take(segment.sliced(4)))
                return out;
            if (coverage.tooMuch()) {
                out.verdict = JpegScans::TooManyPasses;
                return out;
            }
        }
        out.data.append(QByteArrayView(segment));
        if (out.data.size() > mostBytes)
            return out;
    }
    if (!r.failed() && coverage.whole())
        out.verdict = JpegScans::Whole;
    return out;
}
