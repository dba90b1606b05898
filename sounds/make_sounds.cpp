// Synthesises the game's two sounds so that no recording from elsewhere ships with it: a short bright
// chime for every placed piece and a little tune for the end of a game. The output is the same on
// every build (no randomness, no clock), 16-bit PCM mono, which every sound stack plays.
//
// Usage: make_sounds <output folder>   writes chimes.wav and utopia.wav there.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int Rate = 22050;

// A few sine partials, each with its own exponential decay: the higher ones die away first, which is
// what makes a struck bar or bell sound bright at the start and pure at the end.
struct Partial {
    double ratio; // of the note's frequency
    double amplitude;
    double decay; // per second
};

// How a note swells in and dies out at its edges. A linear ramp bends sharply where it ends, and a
// note that starts at full strength within a few milliseconds is heard as a tick in front of it; a
// raised cosine starts and ends flat.
struct Edges {
    double attack; // seconds from silence to full strength
    double release; // seconds from full strength to silence at the note's end, even while it rings
};

double Swell(double x)
{
    return 0.5 - 0.5 * std::cos(std::numbers::pi * std::clamp(x, 0.0, 1.0));
}

// Adds one struck note into the buffer, shaped at both edges so it neither clicks where it starts
// nor where it is cut off.
void Strike(std::vector<double>& out, double start, double length, double frequency,
    const std::vector<Partial>& partials, double gain, Edges edges)
{
    const auto first = static_cast<std::size_t>(start * Rate);
    const auto count = static_cast<std::size_t>(length * Rate);
    if (out.size() < first + count)
        out.resize(first + count, 0.0);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double ramp = Swell(t / edges.attack) * Swell((length - t) / edges.release);
        double v = 0;
        for (const Partial& p : partials)
            v += p.amplitude * std::exp(-p.decay * t)
                * std::sin(2 * std::numbers::pi * frequency * p.ratio * t);
        out[first + i] += gain * ramp * v;
    }
}

// The last few milliseconds fade to silence so the sound never stops with a click.
void FadeOut(std::vector<double>& samples, double seconds)
{
    const auto count = std::min(samples.size(), static_cast<std::size_t>(seconds * Rate));
    for (std::size_t i = 0; i < count; ++i)
        samples[samples.size() - 1 - i] *= static_cast<double>(i) / static_cast<double>(count);
}

// Scales the whole sound so its loudest sample sits at the given fraction of full scale.
std::vector<std::int16_t> ToPcm(const std::vector<double>& samples, double peak)
{
    double loudest = 0;
    for (double v : samples)
        loudest = std::max(loudest, std::abs(v));
    const double scale = loudest > 0 ? peak * 32767.0 / loudest : 0.0;
    std::vector<std::int16_t> pcm;
    pcm.reserve(samples.size());
    for (double v : samples)
        pcm.push_back(static_cast<std::int16_t>(std::lround(std::clamp(v * scale, -32767.0, 32767.0))));
    return pcm;
}

std::vector<double> Chime()
{
    // A bar-like spectrum around C6: slightly stretched overtones give it a metallic shine.
    const std::vector<Partial> bar { { 1.0, 1.0, 5.5 }, { 2.01, 0.45, 8.0 }, { 3.03, 0.22, 12.0 },
        { 4.22, 0.12, 18.0 } };
    // Struck, so it speaks at once, yet rounded enough not to click.
    const Edges struck { 0.005, 0.05 };
    std::vector<double> out;
    Strike(out, 0.0, 0.6, 1046.50, bar, 1.0, struck);
    Strike(out, 0.0, 0.6, 1568.0, bar, 0.35, struck); // a fifth above, quieter, for sparkle
    FadeOut(out, 0.03);
    return out;
}

std::vector<double> Tune()
{
    // A soft electric-piano voice: mostly fundamental, a touch of the next two harmonics.
    const std::vector<Partial> voice { { 1.0, 1.0, 2.2 }, { 2.0, 0.30, 4.0 }, { 3.0, 0.10, 6.0 } };
    // A rising arpeggio that settles on a major chord and rings out.
    struct Note {
        double start, frequency;
    };
    const Note melody[] = { { 0.00, 392.00 }, { 0.22, 523.25 }, { 0.44, 659.25 }, { 0.66, 783.99 },
        { 0.88, 659.25 }, { 1.10, 1046.50 } };
    // Soft keys: each note swells in over a dozen milliseconds while the ones before it ring on.
    const Edges soft { 0.012, 0.08 };
    std::vector<double> out;
    for (const Note& n : melody)
        Strike(out, n.start, 1.0, n.frequency, voice, 0.8, soft);
    for (double f : { 523.25, 659.25, 783.99 })
        Strike(out, 1.10, 1.5, f, voice, 0.45, soft);
    FadeOut(out, 0.25);
    return out;
}

void PutLe(std::string& s, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A canonical RIFF/WAVE file: one "fmt " chunk (PCM) and one "data" chunk, little-endian throughout.
bool WriteWav(const std::string& path, const std::vector<std::int16_t>& pcm)
{
    const auto dataBytes = static_cast<std::uint32_t>(pcm.size() * 2);
    std::string file = "RIFF";
    PutLe(file, 36 + dataBytes, 4);
    file += "WAVEfmt ";
    PutLe(file, 16, 4);
    PutLe(file, 1, 2); // PCM
    PutLe(file, 1, 2); // mono
    PutLe(file, Rate, 4);
    PutLe(file, Rate * 2, 4); // bytes per second
    PutLe(file, 2, 2); // bytes per frame
    PutLe(file, 16, 2); // bits per sample
    file += "data";
    PutLe(file, dataBytes, 4);
    for (std::int16_t v : pcm)
        PutLe(file, static_cast<std::uint16_t>(v), 2);

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    // The game may play both at once (the last piece's chime still rings when the tune starts), and
    // the system mixes them by adding them up: their peaks together stay near -3.4 dBFS, so the mix
    // never clips, whatever moment the tune starts at. The tune, the reward, is the louder.
    struct Sound {
        const char* name;
        std::vector<double> samples;
        double peak; // of full scale
    };
    // A build must not go on with a sound that was not written: the game would be silent without
    // anyone noticing.
    for (const auto& [name, samples, peak] :
        { Sound { "chimes.wav", Chime(), 0.28 }, Sound { "utopia.wav", Tune(), 0.40 } }) {
        const std::string path = folder + "/" + name;
        if (!WriteWav(path, ToPcm(samples, peak))) {
            std::fprintf(stderr, "make_sounds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
