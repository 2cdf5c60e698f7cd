#include "units/envelope_sequencer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/arith.h"
#include "units/block_io.h"
#include "units/note_sequencer.h"
#include "units/number_edit.h"

namespace kf {

EnvelopeSequencer::EnvelopeSequencer() : SoundUnit(kKind, "Sequencer envelope") {}

void EnvelopeSequencer::setParams() {
    if (attack < 0) attack = 0;
    // The five values reach the page through its number edits (minimum 0)
    // and are read back from them.
    for (double* v : {&attack, &decayAngle, &release, &releaseStart, &amplitude}) *v = numberEditValue(*v);
}

double EnvelopeSequencer::slope(double a) {
    const double pi = std::numbers::pi;
    return std::cos(a * 0.01 * 0.5 * pi) / (std::sin(a * (1.0 / 101.0) * 0.5 * pi) + 0.001);
}

Status EnvelopeSequencer::process(SoundBuffer& buffer, int32_t count, int32_t start,
                                  int32_t total, const SoundScheme& scheme) {
    if (count <= 0 || !buffer.samples) return Status::success();
    NoteTable table;
    Status error;
    if (!inputNotes(scheme, "Input of sequencer envelope should be sequencer!", table, error))
        return error;

    // Positions are 64-bit so long streams and long steps keep the curve
    // (32-bit products would wrap after 2^31/128 samples); every table
    // index is reduced into the table.
    const int64_t n = std::clamp<int64_t>(table.count, 1, NoteSequencer::kMaxNotes);
    const int64_t period = std::max<int64_t>(total, 1);
    const int64_t stepLength = (period * 128) / n;  // in 1/128 sample; >= 4 here
    if (stepLength <= 0) return Status::success();
    const NoteStep* steps = table.steps;
    const auto tied = [&](int64_t k) { return steps[blockio::floorMod(k, n)].tie != 0; };
    bool allTied = true;
    for (int64_t k = 0; k < n; ++k) allTied = allTied && tied(k);

    const double amp = amplitude, att = attack, rs = releaseStart;
    const double fDecay = slope(decayAngle), fRelease = slope(release);

    for (int32_t i = 0; i < buffer.count; ++i) {
        const int64_t h = static_cast<int64_t>(start) + i;
        const int64_t s = blockio::floorDiv(h * n, period);
        double t = static_cast<double>(blockio::floorMod(h * 128, stepLength) * 256) /
                   static_cast<double>(stepLength) * 128;
        const double tS = t;

        // Walk back over the tied group. With every step tied the walk
        // reaches step 0 of the stream; skip it in one go rather than one
        // step at a time (s grows without bound in real time).
        int64_t k = s;
        if (allTied && k > n) {
            t += 32768.0 * static_cast<double>(k);
            k = 0;
        }
        while (k > 0 && tied(k)) {
            --k;
            t += 32768;
        }

        double level = amp - t * (amp / 65536) * fDecay;
        if (!tied(s + 1) && tS - rs * 128 > 0) level = level - (tS - rs * 128) * (amp / 65536) * fRelease;
        if (t < att) level = level * t / att;
        if (level < 0) level = 0;
        buffer.samples[i] = static_cast<int16_t>(clampSample(roundToInt32(level)));
    }
    return Status::success();
}

void EnvelopeSequencer::writeFields(uint8_t* p) const {
    blockio::putDouble(p, attack);
    blockio::putDouble(p + 8, decayAngle);
    blockio::putDouble(p + 16, release);
    blockio::putDouble(p + 24, releaseStart);
    blockio::putDouble(p + 32, amplitude);
}

void EnvelopeSequencer::readFields(const uint8_t* p) {
    attack = blockio::getDouble(p);
    decayAngle = blockio::getDouble(p + 8);
    release = blockio::getDouble(p + 16);
    releaseStart = blockio::getDouble(p + 24);
    amplitude = blockio::getDouble(p + 32);
}

}  // namespace kf
