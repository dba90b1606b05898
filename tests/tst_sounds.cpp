// The synthesised sounds as the game finds them beside the executable: well-formed WAV files that
// Qt's own decoder accepts, loud enough without clipping even when both play at once, free of clicks
// at their edges and at every note's, and shaped like what they stand for (a chime dies away, the
// tune moves through several notes).

#include <QCoreApplication>
#include <QFile>
#include <QList>
#include <QSoundEffect>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <set>
#include <vector>

namespace {

struct Wav {
    QString problem; // empty when the header is sound
    int rate = 0;
    std::vector<double> samples; // -1 .. 1
};

std::uint32_t Le(const QByteArray& b, qsizetype at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
    return v;
}

// Reads the canonical layout the generator writes and every player expects: RIFF, "fmt " (16-byte
// PCM, mono, 16 bits), "data" up to the end of the file, with every size field telling the truth.
Wav Read(const QString& path)
{
    Wav w;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return { QStringLiteral("cannot open ") + path, 0, {} };
    const QByteArray b = f.readAll();
    auto fail = [&](const char* why) { return Wav { QString::fromLatin1(why), 0, {} }; };
    if (b.size() < 44 || b.left(4) != "RIFF" || b.mid(8, 8) != "WAVEfmt ")
        return fail("not a RIFF/WAVE file with a leading fmt chunk");
    if (Le(b, 4, 4) != static_cast<std::uint32_t>(b.size() - 8))
        return fail("RIFF size does not match the file");
    if (Le(b, 16, 4) != 16 || Le(b, 20, 2) != 1 || Le(b, 22, 2) != 1 || Le(b, 34, 2) != 16)
        return fail("not 16-bit mono PCM");
    w.rate = static_cast<int>(Le(b, 24, 4));
    if (w.rate != 22050 && w.rate != 44100)
        return fail("unusual sample rate");
    if (Le(b, 28, 4) != static_cast<std::uint32_t>(w.rate * 2) || Le(b, 32, 2) != 2)
        return fail("byte rate or frame size inconsistent");
    if (b.mid(36, 4) != "data" || Le(b, 40, 4) != static_cast<std::uint32_t>(b.size() - 44) || b.size() % 2)
        return fail("data chunk does not run to the end of the file");
    for (qsizetype i = 44; i < b.size(); i += 2)
        w.samples.push_back(static_cast<std::int16_t>(Le(b, i, 2)) / 32768.0);
    return w;
}

double Rms(const std::vector<double>& s, std::size_t from, std::size_t count)
{
    double sum = 0;
    for (std::size_t i = from; i < from + count; ++i)
        sum += s[i] * s[i];
    return std::sqrt(sum / static_cast<double>(count));
}

// The strongest frequency of a short window, searched on a quarter-semitone grid from 200 Hz to
// 2 kHz, where the game's notes lie.
double DominantFrequency(const std::vector<double>& s, std::size_t from, std::size_t count, int rate)
{
    double best = 0, bestPower = -1;
    for (double f = 200; f < 2000; f *= std::pow(2.0, 1.0 / 48)) {
        double re = 0, im = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const double phase = 2 * std::numbers::pi * f * static_cast<double>(i) / rate;
            re += s[from + i] * std::cos(phase);
            im += s[from + i] * std::sin(phase);
        }
        if (re * re + im * im > bestPower) {
            bestPower = re * re + im * im;
            best = f;
        }
    }
    return best;
}

double Peak(const std::vector<double>& s)
{
    double peak = 0;
    for (double v : s)
        peak = std::max(peak, std::abs(v));
    return peak;
}

// How sharp the sound's sharpest edge is. A click is a step or a sharp bend where a note starts or is
// cut off; it shows in the fourth sample-to-sample difference, which the notes' own partials barely
// reach. Each jump is measured against how loud the sound is within 5 ms around it, so that a click
// in a quiet tail counts as much as one at the start (a twentieth of the peak is the least taken as
// loud, so the rounding noise of near silence is no click).
double SharpestEdge(const std::vector<double>& s, int rate)
{
    const double floor = Peak(s) / 20;
    const auto near = static_cast<std::size_t>(rate / 200);
    double sharpest = 0;
    for (std::size_t i = 2; i + 2 < s.size(); ++i) {
        double loudness = floor;
        for (std::size_t j = i > near ? i - near : 0; j < std::min(s.size(), i + near); ++j)
            loudness = std::max(loudness, std::abs(s[j]));
        const double jump = std::abs(s[i + 2] - 4 * s[i + 1] + 6 * s[i] - 4 * s[i - 1] + s[i - 2]);
        sharpest = std::max(sharpest, jump / loudness);
    }
    return sharpest;
}

// How much louder, step for step, a note makes the sound in its first millisecond: the growth of the
// largest sample-to-sample jump there over the millisecond before, against the sound's peak. A note
// that sets in at full strength, or bends sharply out of a straight ramp, ticks as it starts; one
// that swells in grows only a little so soon.
double SharpestOnset(const std::vector<double>& s, int rate, const QList<double>& starts)
{
    const auto ms = static_cast<std::size_t>(rate / 1000);
    auto largestJump = [&](std::size_t from, std::size_t to) {
        double largest = 0;
        for (std::size_t i = from; i < to && i + 1 < s.size(); ++i)
            largest = std::max(largest, std::abs(s[i + 1] - s[i]));
        return largest;
    };
    double sharpest = 0;
    for (double start : starts) {
        const auto at = static_cast<std::size_t>(std::lround(start * rate));
        const double before = largestJump(at > ms ? at - ms : 0, at);
        sharpest = std::max(sharpest, largestJump(at, at + ms) - before);
    }
    return sharpest / Peak(s);
}

QString SoundPath(const QString& name)
{
    // The suites run from tests/ inside the build folder; the sounds lie beside the game one level up.
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../") + name;
}

} // namespace

class TestSounds : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sounds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("minSeconds");
        QTest::addColumn<double>("maxSeconds");
        QTest::addColumn<bool>("decays"); // a struck chime: loud start, faint end
        QTest::addColumn<int>("minNotes"); // distinct pitches leading the sound over time
        QTest::addColumn<double>("minPeak"); // of full scale: loud enough to be heard
        // The chime's bright high partials make its own edge measure high; the soft tune has none.
        QTest::addColumn<double>("maxEdge"); // see SharpestEdge
        QTest::addColumn<QString>("playsWith"); // the sound that may ring at the same time
        QTest::addColumn<QList<double>>("noteStarts"); // seconds
        QTest::addColumn<double>("maxOnset"); // see SharpestOnset; a struck chime may speak sooner
        QTest::newRow("chime") << QStringLiteral("chimes.wav") << 0.3 << 1.0 << true << 1 << 0.2 << 0.45
                               << QStringLiteral("utopia.wav") << QList<double> { 0 } << 0.05;
        QTest::newRow("tune") << QStringLiteral("utopia.wav") << 1.5 << 3.5 << false << 3 << 0.3 << 0.06
                              << QStringLiteral("chimes.wav")
                              << QList<double> { 0, 0.22, 0.44, 0.66, 0.88, 1.10 } << 0.002;
    }

    void sounds()
    {
        QFETCH(QString, name);
        QFETCH(double, minSeconds);
        QFETCH(double, maxSeconds);
        QFETCH(bool, decays);
        QFETCH(int, minNotes);
        QFETCH(double, minPeak);
        QFETCH(double, maxEdge);
        QFETCH(QString, playsWith);
        QFETCH(QList<double>, noteStarts);
        QFETCH(double, maxOnset);

        const Wav w = Read(SoundPath(name));
        QVERIFY2(w.problem.isEmpty(), qPrintable(w.problem));
        const double seconds = static_cast<double>(w.samples.size()) / w.rate;
        QVERIFY2(seconds >= minSeconds && seconds <= maxSeconds, qPrintable(QString::number(seconds)));

        const double peak = Peak(w.samples);
        QVERIFY2(peak > minPeak && peak < 0.99, qPrintable(QStringLiteral("peak %1").arg(peak)));
        // A sound that starts or stops away from zero clicks audibly.
        QVERIFY(std::abs(w.samples.front()) < 0.01);
        QVERIFY(std::abs(w.samples.back()) < 0.01);
        // Nor may any note inside it, where it starts or where it is cut off.
        const double edge = SharpestEdge(w.samples, w.rate);
        QVERIFY2(edge < maxEdge, qPrintable(QStringLiteral("sharpest edge %1").arg(edge)));
        const double onset = SharpestOnset(w.samples, w.rate, noteStarts);
        QVERIFY2(onset < maxOnset, qPrintable(QStringLiteral("sharpest onset %1").arg(onset)));

        // Both at once are added up by the system; whatever moment the other starts at, the mix
        // peaks at most at the two peaks added, and must stay below -3 dBFS.
        const Wav other = Read(SoundPath(playsWith));
        QVERIFY2(other.problem.isEmpty(), qPrintable(other.problem));
        const double together = peak + Peak(other.samples);
        QVERIFY2(together < std::pow(10.0, -3.0 / 20),
            qPrintable(QStringLiteral("together %1 dBFS").arg(20 * std::log10(together))));

        const auto tenth = static_cast<std::size_t>(w.rate / 10);
        const double head = Rms(w.samples, 0, tenth);
        const double tail = Rms(w.samples, w.samples.size() - tenth, tenth);
        if (decays)
            QVERIFY2(tail < head / 4, qPrintable(QStringLiteral("head %1 tail %2").arg(head).arg(tail)));

        std::set<int> pitches; // in quarter semitones, so one note read twice counts once
        const auto window = static_cast<std::size_t>(w.rate / 20);
        for (std::size_t at = 0; at + window <= w.samples.size(); at += tenth)
            if (Rms(w.samples, at, window) > 0.02)
                pitches.insert(static_cast<int>(
                    std::lround(48 * std::log2(DominantFrequency(w.samples, at, window, w.rate) / 200))));
        QVERIFY2(static_cast<int>(pitches.size()) >= minNotes, qPrintable(QString::number(pitches.size())));
    }

    // The game plays through QSoundEffect, whose decoder is stricter than most players.
    void qtDecoderAccepts_data() { sounds_data(); }
    void qtDecoderAccepts()
    {
        QFETCH(QString, name);
        QSoundEffect effect;
        effect.setSource(QUrl::fromLocalFile(SoundPath(name)));
        QTRY_COMPARE_WITH_TIMEOUT(effect.status(), QSoundEffect::Ready, 5000);
    }
};

QTEST_MAIN(TestSounds)
#include "tst_sounds.moc"
