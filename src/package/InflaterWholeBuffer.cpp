// Whole-buffer inflation. This unit is built with exceptions on: EZLibError is how
// its callers learn of a failure.
#include <climits>
#include <new>

#include "package/Inflater.h"

int CheckZ(int code) {
  if (code < 0) throw EZLibError(ZErrorText(code));
  return code;
}

namespace {

// No deflate stream inflates to more than about 1032 times its size: an estimate
// beyond that is not believed.
constexpr size_t kMaxRatio = 1032;

int ClampInt(size_t value) { return value > size_t(INT_MAX) ? INT_MAX : int(value); }

template <typename Buffer>
void Resize(Buffer& buffer, size_t size) {
  try {
    buffer.resize(size);
  } catch (const std::bad_alloc&) {
    throw EZLibError(ZErrorText(Z_MEM_ERROR));
  } catch (const std::length_error&) {
    throw EZLibError(ZErrorText(Z_MEM_ERROR));
  }
}

template <typename Buffer>
void InflateInto(const uint8_t* in, size_t inLen, size_t estimate, Buffer& out, ProgressCallback progress,
                 size_t maxOutput) {
  out.clear();
  if (!in) inLen = 0;
  if (maxOutput == 0) maxOutput = 1;

  // The input length rounded up to whole 256-byte units, at least one unit.
  size_t step = inLen > SIZE_MAX - 255 ? SIZE_MAX & ~size_t(255) : (inLen + 255) & ~size_t(255);
  if (step == 0) step = 256;
  size_t believable = inLen > (SIZE_MAX - 256) / kMaxRatio ? SIZE_MAX : inLen * kMaxRatio + 256;
  size_t size = estimate ? (estimate < believable ? estimate : believable) : step;
  if (size > maxOutput) size = maxOutput;

  Buffer buffer;
  Resize(buffer, size);
  ZInflater z;
  if (!z.ok()) throw EZLibError(z.Error());
  if (progress) progress(0, 0, ClampInt(inLen), 0, 1, 0);

  const uint8_t* next = in;
  size_t left = inLen;
  size_t used = 0;
  for (;;) {
    size_t produced = 0;
    ZStatus st = z.Inflate(next, left, reinterpret_cast<uint8_t*>(&buffer[0]) + used, buffer.size() - used,
                           produced);
    used += produced;
    if (st == ZStatus::Error) throw EZLibError(z.Error());
    if (progress) progress(0, 0, ClampInt(inLen), ClampInt(used), 1, 0);
    if (st == ZStatus::StreamEnd) break;
#ifdef _WIN32
    PumpMessages();  // the stub's window stays responsive during a large record
#endif
    if (used == buffer.size()) {
      // Doubling keeps a highly compressible record at a handful of calls and copies.
      if (buffer.size() >= maxOutput) {
        // Full at the limit: only the end marker and check value may still follow.
        uint8_t probe = 0;
        size_t more = 0;
        if (z.Inflate(next, left, &probe, 1, more) == ZStatus::StreamEnd && more == 0) break;
        throw EZLibError(ZErrorText(Z_MEM_ERROR));
      }
      size_t grown = buffer.size() > maxOutput / 2 ? maxOutput : buffer.size() * 2;
      Resize(buffer, grown);
    }
  }
  Resize(buffer, used);
  buffer.shrink_to_fit();
  out.swap(buffer);
}

}  // namespace

void DecompressBuf(const void* in, size_t inLen, size_t estimate, std::vector<uint8_t>& out,
                   ProgressCallback progress, size_t maxOutput) {
  out.clear();
  InflateInto(static_cast<const uint8_t*>(in), inLen, estimate, out, progress, maxOutput);
}

void DecompressString(const std::string& in, std::string& out, ProgressCallback progress, size_t maxOutput) {
  out.clear();
  InflateInto(reinterpret_cast<const uint8_t*>(in.data()), in.size(), 0, out, progress, maxOutput);
}
