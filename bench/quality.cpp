// How clean what the FM-7 plays sounds: for test signals at several waits
// and on both volume curves, the recording goes through tonebake-prep to an
// image and its preview (exactly what tonebake-play renders from the image,
// the player's staggered writes included), and the preview is measured
// against the recording, on the time axis the FM-7 plays it on, in the band
// that is heard (20 Hz to 3.9 kHz), after the best short filter (gain,
// delay, the hold's droop). Beside it: the same with --plain (rounded
// bytes), and the 8-bit file itself (its samples held, written at once);
// then the search and --plain measured up to 21 kHz, where the hold's
// images count as noise too, to show that the search does not push its
// error above the band.
//
// Usage: quality_bench BUILD_DIR [seconds]
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kClockHz = 1798660.0;
constexpr double kPreviewRate = 44100.0;
constexpr double kBandHz = 3900.0;
constexpr double kWholeBandHz = 21000.0;
constexpr int kWaitRates[64] = {
    12493, 12073, 11681, 11314, 10969, 10644, 10339, 10050, 9777, 9518, 9273, 9040, 8818,
    8607,  8406,  8214,  8031,  7855,  7688,  7527,  7372,  7224, 7082, 6945, 6814, 6687,
    6565,  6448,  6334,  6224,  6119,  6016,  5917,  5822,  5729, 5639, 5552, 5468, 5386,
    5306,  5229,  5154,  5081,  5011,  4942,  4875,  4810,  4746, 4684, 4624, 4565, 4508,
    4452,  4398,  4345,  4293,  4242,  4193,  4145,  4097,  4051, 4006, 3962, 3919};

using Signal = std::vector<double>;

void Put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
}

void WriteWave16(const std::string& path, const Signal& samples, int rate) {
  std::vector<std::uint8_t> bytes;
  const auto data = static_cast<std::uint32_t>(samples.size() * 2);
  bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
  Put(bytes, 36 + data, 4);
  bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put(bytes, 16, 4);
  Put(bytes, 1, 2);
  Put(bytes, 1, 2);
  Put(bytes, static_cast<std::uint32_t>(rate), 4);
  Put(bytes, static_cast<std::uint32_t>(rate * 2), 4);
  Put(bytes, 2, 2);
  Put(bytes, 16, 2);
  bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
  Put(bytes, data, 4);
  for (const double s : samples) {
    Put(bytes, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(s * 32767))), 2);
  }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The samples of a canonical WAVE file, 8 or 16 bits, as numbers.
Signal ReadWave(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFile(path);
  Signal out;
  if (bytes.size() < 44) {
    return out;
  }
  const int bits = bytes[34];
  for (std::size_t i = 44; i + (bits == 16 ? 1 : 0) < bytes.size(); i += bits == 16 ? 2 : 1) {
    out.push_back(bits == 16 ? static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8) / 32768.0
                             : (bytes[i] - 128.0) / 128.0);
  }
  return out;
}

// A formant synthesizer: a 120 Hz pulse train through three resonators.
Signal Speech(int rate, std::size_t count) {
  const double formants[3][2] = {{700, 80}, {1220, 90}, {2600, 120}};
  Signal out(count, 0.0);
  double state[3][2] = {};
  double peak = 0;
  for (std::size_t n = 0; n < count; ++n) {
    const double t = static_cast<double>(n) / rate;
    // A slowly gliding pitch, as a voice has.
    const double phase = 120 * t + 4 * std::sin(2 * kPi * 1.3 * t);
    double x = std::fmod(phase, 1.0) < 120.0 / rate ? 1.0 : 0.0;
    double y = 0;
    for (int f = 0; f < 3; ++f) {
      const double r = std::exp(-kPi * formants[f][1] / rate);
      const double a1 = 2 * r * std::cos(2 * kPi * formants[f][0] / rate);
      const double a2 = -r * r;
      const double v = x + a1 * state[f][0] + a2 * state[f][1];
      state[f][1] = state[f][0];
      state[f][0] = v;
      y += v / (f + 1);
    }
    out[n] = y;
    peak = std::max(peak, std::fabs(y));
  }
  double mean = 0;
  for (const double v : out) {
    mean += v / static_cast<double>(count);
  }
  for (double& v : out) {
    v = (v - mean) / (2 * peak) * 0.9;
  }
  return out;
}

Signal Tone(int rate, std::size_t count, double hz, double db) {
  Signal out(count);
  for (std::size_t n = 0; n < count; ++n) {
    out[n] = std::pow(10, db / 20) * std::sin(2 * kPi * hz * static_cast<double>(n) / rate);
  }
  return out;
}

double Sinc(double x) {
  return x == 0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
}

// `samples` (at `playedRate`) on the preview's time axis, band-limited.
Signal OnPreviewAxis(const Signal& samples, double playedRate, std::size_t count) {
  constexpr int kHalf = 24;
  Signal out(count, 0.0);
  for (std::size_t k = 0; k < count; ++k) {
    const double at = static_cast<double>(k) / kPreviewRate * playedRate;
    const auto centre = static_cast<long>(std::floor(at));
    for (long n = centre - kHalf; n <= centre + kHalf; ++n) {
      if (n >= 0 && n < static_cast<long>(samples.size())) {
        const double d = at - static_cast<double>(n);
        const double window = 0.5 + 0.5 * std::cos(kPi * d / (kHalf + 1));
        out[k] += samples[static_cast<std::size_t>(n)] * Sinc(d) * window;
      }
    }
  }
  return out;
}

// `samples` (bytes as -1..1) held over each played period, as a player
// writing all three levels at once would put them out, each preview sample
// the mean over its interval (as the preview renders).
Signal Held(const Signal& samples, double playedRate, std::size_t count) {
  Signal out(count, 0.0);
  const double step = playedRate / kPreviewRate;  // played samples per preview sample
  for (std::size_t k = 0; k < count; ++k) {
    double from = static_cast<double>(k) * step;
    const double to = from + step;
    double area = 0;
    while (from < to) {
      const double edge = std::min(to, std::floor(from) + 1);
      const auto n = static_cast<std::size_t>(from);
      area += (n < samples.size() ? samples[n] : 0.0) * (edge - from);
      from = edge;
    }
    out[k] = area / step;
  }
  return out;
}

// The band: the mean taken away, then a windowed-sinc low-pass at 3.9 kHz,
// or below half the played rate where that is lower (wait 63: the hold's
// images above 1.96 kHz are the rate's, not the player's).
double g_bandHz = kBandHz;

Signal InBand(const Signal& in) {
  constexpr int kHalf = 200;
  double mean = 0;
  for (const double v : in) {
    mean += v / static_cast<double>(in.size());
  }
  std::vector<double> taps(2 * kHalf + 1);
  for (int i = -kHalf; i <= kHalf; ++i) {
    const double window =
        0.42 + 0.5 * std::cos(kPi * i / kHalf) + 0.08 * std::cos(2 * kPi * i / kHalf);
    taps[static_cast<std::size_t>(i + kHalf)] =
        2 * g_bandHz / kPreviewRate * Sinc(2 * g_bandHz / kPreviewRate * i) * window;
  }
  Signal out(in.size(), 0.0);
  for (std::size_t k = 0; k < in.size(); ++k) {
    double sum = 0;
    for (int i = -kHalf; i <= kHalf; ++i) {
      const long at = static_cast<long>(k) + i;
      if (at >= 0 && at < static_cast<long>(in.size())) {
        sum +=
            (in[static_cast<std::size_t>(at)] - mean) * taps[static_cast<std::size_t>(i + kHalf)];
      }
    }
    out[k] = sum;
  }
  return out;
}

// Solves `a x = b` (n x n) by Gaussian elimination with pivoting.
std::vector<double> Solve(std::vector<std::vector<double>> a, std::vector<double> b) {
  const std::size_t n = b.size();
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t pivot = c;
    for (std::size_t r = c + 1; r < n; ++r) {
      if (std::fabs(a[r][c]) > std::fabs(a[pivot][c])) {
        pivot = r;
      }
    }
    std::swap(a[c], a[pivot]);
    std::swap(b[c], b[pivot]);
    for (std::size_t r = c + 1; r < n; ++r) {
      const double f = a[r][c] / a[c][c];
      for (std::size_t k = c; k < n; ++k) {
        a[r][k] -= f * a[c][k];
      }
      b[r] -= f * b[c];
    }
  }
  std::vector<double> x(n);
  for (std::size_t r = n; r-- > 0;) {
    double sum = b[r];
    for (std::size_t k = r + 1; k < n; ++k) {
      sum -= a[r][k] * x[k];
    }
    x[r] = sum / a[r][r];
  }
  return x;
}

// In-band SNR of `heard` against `reference`, after the best 17-tap filter
// (gain, delay, droop) from the reference, away from both ends.
double SnrDb(const Signal& reference, const Signal& heard) {
  const std::size_t count = std::min(reference.size(), heard.size());
  const Signal r = InBand(Signal(reference.begin(), reference.begin() + static_cast<long>(count)));
  const Signal h = InBand(Signal(heard.begin(), heard.begin() + static_cast<long>(count)));
  const std::size_t from = static_cast<std::size_t>(0.06 * kPreviewRate);
  const std::size_t to = count - static_cast<std::size_t>(0.06 * kPreviewRate);
  // The coarse delay: the best correlation within 2 ms.
  long lag = 0;
  double bestCorrelation = -1e300;
  for (long d = -88; d <= 88; ++d) {
    double c = 0;
    for (std::size_t k = from; k < to; ++k) {
      c += h[k] * r[static_cast<std::size_t>(static_cast<long>(k) - d)];
    }
    if (c > bestCorrelation) {
      bestCorrelation = c;
      lag = d;
    }
  }
  constexpr int kTaps = 17;
  const auto tap = [&](std::size_t k, int j) {
    return r[static_cast<std::size_t>(static_cast<long>(k) - lag + j - kTaps / 2)];
  };
  std::vector<std::vector<double>> a(kTaps, std::vector<double>(kTaps, 0.0));
  std::vector<double> b(kTaps, 0.0);
  for (std::size_t k = from; k < to; ++k) {
    for (int i = 0; i < kTaps; ++i) {
      b[static_cast<std::size_t>(i)] += tap(k, i) * h[k];
      for (int j = 0; j < kTaps; ++j) {
        a[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] += tap(k, i) * tap(k, j);
      }
    }
  }
  // A little ridge: a pure tone leaves the system singular, and a filter
  // without it could amplify the reference's faintest traces into a fit.
  double trace = 0;
  for (int i = 0; i < kTaps; ++i) {
    trace += a[static_cast<std::size_t>(i)][static_cast<std::size_t>(i)];
  }
  for (int i = 0; i < kTaps; ++i) {
    a[static_cast<std::size_t>(i)][static_cast<std::size_t>(i)] += 1e-6 * trace / kTaps;
  }
  const std::vector<double> filter = Solve(a, b);
  double signal = 0;
  double noise = 0;
  for (std::size_t k = from; k < to; ++k) {
    double fit = 0;
    for (int i = 0; i < kTaps; ++i) {
      fit += filter[static_cast<std::size_t>(i)] * tap(k, i);
    }
    signal += fit * fit;
    noise += (h[k] - fit) * (h[k] - fit);
  }
  return 10 * std::log10(signal / noise);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quality_bench BUILD_DIR [seconds]\n");
    return 1;
  }
  const std::string prep = std::string(argv[1]) + "/tonebake-prep";
  const double seconds = argc > 2 ? std::atof(argv[2]) : 1.0;
  const char* names[4] = {"1 kHz -0.5 dB", "1 kHz -12 dB", "300 Hz -3 dB", "speech"};
  std::printf("%-7s %-5s %-14s %8s %8s %8s %12s %12s\n", "curve", "wait", "signal", "search",
              "plain", "file", "search(21k)", "plain(21k)");
  for (const char* curve : {"fm7", "fm77av"}) {
    for (const int wait : {0, 16, 63}) {
      const int rate = kWaitRates[wait];
      const double played = kClockHz / (144 + 5 * wait);
      g_bandHz = std::min(kBandHz, 0.49 * played);
      const auto count = static_cast<std::size_t>(seconds * rate);
      double sums[5] = {0, 0, 0, 0, 0};
      for (int s = 0; s < 4; ++s) {
        const Signal recording = s == 0   ? Tone(rate, count, 1000, -0.5)
                                 : s == 1 ? Tone(rate, count, 1000, -12)
                                 : s == 2 ? Tone(rate, count, 300, -3)
                                          : Speech(rate, count);
        WriteWave16("quality-in.wav", recording, rate);
        const std::size_t previewCount = static_cast<std::size_t>(seconds * kPreviewRate);
        const Signal reference = OnPreviewAxis(recording, played, previewCount);
        // The band heard, and the whole band up to 21 kHz: the search must
        // not push its error above the band heard.
        double snr[5];
        for (int mode = 0; mode < 2; ++mode) {
          const std::string command = prep + " --wait " + std::to_string(wait) + " --psg " + curve +
                                      (mode == 1 ? " --plain" : "") +
                                      " quality-in.wav quality-out.wav --preview quality-heard.wav"
                                      " 2>/dev/null";
          if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "failed: %s\n", command.c_str());
            return 1;
          }
          const Signal heard = ReadWave("quality-heard.wav");
          snr[mode] = SnrDb(reference, heard);
          const double band = g_bandHz;
          g_bandHz = kWholeBandHz;
          snr[3 + mode] = SnrDb(reference, heard);
          g_bandHz = band;
        }
        snr[2] = SnrDb(reference, Held(ReadWave("quality-out.wav"), played, previewCount));
        std::printf("%-7s %-5d %-14s %8.1f %8.1f %8.1f %12.1f %12.1f\n", curve, wait, names[s],
                    snr[0], snr[1], snr[2], snr[3], snr[4]);
        for (int m = 0; m < 5; ++m) {
          sums[m] += snr[m] / 4;
        }
      }
      std::printf("%-7s %-5d %-14s %8.1f %8.1f %8.1f %12.1f %12.1f\n", curve, wait, "mean", sums[0],
                  sums[1], sums[2], sums[3], sums[4]);
    }
  }
  std::remove("quality-in.wav");
  std::remove("quality-out.wav");
  std::remove("quality-heard.wav");
  return 0;
}
