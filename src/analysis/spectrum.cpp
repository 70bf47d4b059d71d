#include "analysis/spectrum.h"

#include <new>

namespace tonamira {

namespace {

// Allocates n zero-filled elements, or gives an empty pointer when the fault hook names this
// block or the memory is not there.
template <typename T>
std::unique_ptr<T[]> AllocBlock(int n, std::string_view name, const AllocationFault& fault) {
  if (fault && fault(name)) return nullptr;
  return std::unique_ptr<T[]>(new (std::nothrow) T[static_cast<std::size_t>(n)]());
}

}  // namespace

bool AllocFftArrays(FftArrays& arrays, int n, const AllocationFault& fault) {
  FreeFftArrays(arrays);
  if (n <= 0) return false;
  arrays.mag = AllocBlock<double>(n, "FftMag", fault);
  if (arrays.mag) arrays.noise = AllocBlock<double>(n, "NoiseSpectrum", fault);
  if (arrays.noise) arrays.input = AllocBlock<double>(n, "FftInput", fault);
  if (arrays.input) arrays.work = AllocBlock<Complex>(n, "FftWork", fault);
  if (arrays.work) arrays.out = AllocBlock<Complex>(n, "FftOut", fault);
  if (!arrays.allocated()) {
    FreeFftArrays(arrays);
    return false;
  }
  arrays.capacity = n;
  return true;
}

void FreeFftArrays(FftArrays& arrays) {
  arrays.mag.reset();
  arrays.noise.reset();
  arrays.input.reset();
  arrays.work.reset();
  arrays.out.reset();
  arrays.capacity = 0;
}

const FftPlan& FftPlanCache::For(int n) {
  auto& slot = plans_[n];
  if (!slot) slot = std::make_unique<FftPlan>(n);
  return *slot;
}

double LoadWindowedChannel(const uint8_t* frame, int n, int bits, int channels, int channel,
                           const double* window, double* input) {
  if (bits != 8 && bits != 16) return 0.0;
  const double scale = bits == 8 ? -1.0 : -1.0 / 255.0;
  // Only the first channel of any layout and the second of a stereo frame are read.
  const bool readable = channels >= 1 && (channel == 0 || (channel == 1 && channels == 2));
  if (!readable) return 0.0;
  const std::size_t step = static_cast<std::size_t>(channels);
  if (bits == 8) {
    const uint8_t* p = frame + channel;
    for (int j = 0; j < n; ++j) {
      const double x = static_cast<double>(static_cast<int>(p[static_cast<std::size_t>(j) * step]) - 128);
      input[j] = window[j] * x;
    }
  } else {
    const uint8_t* p = frame + 2 * static_cast<std::size_t>(channel);
    for (int j = 0; j < n; ++j) {
      const double x = static_cast<double>(Sample16(p + 2 * static_cast<std::size_t>(j) * step));
      input[j] = window[j] * x;
    }
  }
  return scale;
}

}  // namespace tonamira
