// Loudness and spectrum measures for judging a mix the way listeners and
// streaming services do: ITU-R BS.1770-4 integrated loudness (K-weighting,
// 400 ms blocks with 75 % overlap, absolute gate at -70 LUFS, relative gate
// 10 LU below the ungated level) at any sample rate, and the power of a
// signal in frequency bands. Plain functions on samples in -1..1; any
// thread.
#pragma once
#include <vector>

namespace demolib {

// One biquad section: y = (b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2), a0 = 1.
struct Biquad {
  double b0, b1, b2, a1, a2;
};
// The two K-weighting stages at `rate` Hz (shelf, then high pass), from
// the analog prototypes that give the standard's 48 kHz coefficients.
void kWeighting(int rate, Biquad* shelf, Biquad* highPass);

// Integrated loudness of the channels (each of the same length, -1..1) in
// LUFS; every channel is weighted 1 (left, right, centre). -200 for a
// signal that no block passes the absolute gate in.
double integratedLoudness(const std::vector<std::vector<double>>& channels, int rate);

// Power of the channels in each band [edges[i], edges[i + 1]) Hz, in dB
// (relative: only differences between bands mean something). Hann windowed
// 8192-point spectra with half overlap, summed over channels.
std::vector<double> bandLevels(const std::vector<std::vector<double>>& channels, int rate,
                               const std::vector<double>& edges);

}  // namespace demolib
