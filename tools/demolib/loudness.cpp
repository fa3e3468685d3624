#include "tools/demolib/loudness.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace demolib {

namespace {

constexpr double kPi = 3.14159265358979323846;

void filter(const Biquad& f, std::vector<double>& x) {
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  for (double& v : x) {
    const double y = f.b0 * v + f.b1 * x1 + f.b2 * x2 - f.a1 * y1 - f.a2 * y2;
    x2 = x1;
    x1 = v;
    y2 = y1;
    y1 = y;
    v = y;
  }
}

void fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> w = std::polar(1.0, -2.0 * kPi / double(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> wk = 1.0;
      for (size_t k = 0; k < len / 2; ++k) {
        const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
        wk *= w;
      }
    }
  }
}

}  // namespace

void kWeighting(int rate, Biquad* shelf, Biquad* highPass) {
  // High shelf of about +4 dB above 1.7 kHz (the head's effect).
  double f0 = 1681.974450955533, gain = 3.999843853973347, q = 0.7071752369554196;
  double k = std::tan(kPi * f0 / rate);
  const double vh = std::pow(10.0, gain / 20.0), vb = std::pow(vh, 0.4996667741545416);
  double a0 = 1.0 + k / q + k * k;
  *shelf = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
            2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
  // The revised low-frequency B-curve: a second-order high pass at 38 Hz.
  f0 = 38.13547087602444;
  q = 0.5003270373238773;
  k = std::tan(kPi * f0 / rate);
  a0 = 1.0 + k / q + k * k;
  *highPass = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
}

double integratedLoudness(const std::vector<std::vector<double>>& channels, int rate) {
  if (channels.empty() || rate <= 0) return -200.0;
  Biquad shelf, highPass;
  kWeighting(rate, &shelf, &highPass);
  const size_t n = channels[0].size();
  const size_t block = size_t(std::lround(0.4 * rate)), hop = block / 4;
  if (n < block) return -200.0;
  // Mean square of every 100 ms quarter of each channel, then blocks of four.
  const size_t quarters = n / hop;
  std::vector<double> power(quarters, 0.0);
  for (const std::vector<double>& ch : channels) {
    std::vector<double> x = ch;
    filter(shelf, x);
    filter(highPass, x);
    for (size_t q = 0; q < quarters; ++q) {
      double s = 0;
      for (size_t i = q * hop; i < (q + 1) * hop; ++i) s += x[i] * x[i];
      power[q] += s;
    }
  }
  std::vector<double> blocks;
  for (size_t q = 0; q + 4 <= quarters; ++q)
    blocks.push_back((power[q] + power[q + 1] + power[q + 2] + power[q + 3]) / double(4 * hop));
  auto lufs = [](double z) { return -0.691 + 10.0 * std::log10(z); };
  auto gatedMean = [&](double threshold) {
    double sum = 0;
    int count = 0;
    for (double z : blocks)
      if (z > 0 && lufs(z) > threshold) {
        sum += z;
        ++count;
      }
    return count ? sum / count : 0.0;
  };
  const double ungated = gatedMean(-70.0);
  if (ungated <= 0) return -200.0;
  const double gated = gatedMean(lufs(ungated) - 10.0);
  return gated > 0 ? lufs(gated) : -200.0;
}

std::vector<double> bandLevels(const std::vector<std::vector<double>>& channels, int rate,
                               const std::vector<double>& edges) {
  const size_t size = 8192;
  std::vector<double> power(edges.size() > 1 ? edges.size() - 1 : 0, 0.0);
  std::vector<double> window(size);
  for (size_t i = 0; i < size; ++i) window[i] = 0.5 - 0.5 * std::cos(2.0 * kPi * double(i) / double(size));
  std::vector<std::complex<double>> a(size);
  for (const std::vector<double>& ch : channels) {
    for (size_t at = 0; at + size <= ch.size(); at += size / 2) {
      for (size_t i = 0; i < size; ++i) a[i] = ch[at + i] * window[i];
      fft(a);
      for (size_t bin = 1; bin < size / 2; ++bin) {
        const double hz = double(bin) * rate / double(size);
        for (size_t b = 0; b + 1 < edges.size(); ++b)
          if (hz >= edges[b] && hz < edges[b + 1]) power[b] += std::norm(a[bin]);
      }
    }
  }
  std::vector<double> db;
  for (double p : power) db.push_back(p > 0 ? 10.0 * std::log10(p) : -300.0);
  return db;
}

}  // namespace demolib
