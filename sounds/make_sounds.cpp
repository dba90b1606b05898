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

// Adds one struck note into the buffer. The short attack and release ramps keep the note from
// clicking where it starts and where it is cut off, even while it still rings.
void Strike(std::vector<double>& out, double start, double length, double frequency,
    const std::vector<Partial>& partials, double gain)
{
    constexpr double attack = 0.004;
    constexpr double release = 0.08;
    const auto first = static_cast<std::size_t>(start * Rate);
    const auto count = static_cast<std::size_t>(length * Rate);
    if (out.size() < first + count)
        out.resize(first + count, 0.0);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / Rate;
        const double ramp = std::min({ 1.0, t / attack, (length - t) / release });
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
    std::vector<double> out;
    Strike(out, 0.0, 0.6, 1046.50, bar, 1.0);
    Strike(out, 0.0, 0.6, 1568.0, bar, 0.35); // a fifth above, quieter, for sparkle
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
    std::vector<double> out;
    for (const Note& n : melody)
        Strike(out, n.start, 1.0, n.frequency, voice, 0.8);
    for (double f : { 523.25, 659.25, 783.99 })
        Strike(out, 1.10, 1.5, f, voice, 0.45);
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
    // A build must not go on with a sound that was not written: the game would be silent without
    // anyone noticing.
    for (const auto& [name, samples] :
        { std::pair { "chimes.wav", Chime() }, std::pair { "utopia.wav", Tune() } }) {
        const std::string path = folder + "/" + name;
        if (!WriteWav(path, ToPcm(samples, 0.8))) {
            std::fprintf(stderr, "make_sounds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
