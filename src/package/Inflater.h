// Inflating the zlib streams of compressed file records.
//
// ZInflater is the streaming form the extraction uses: bounded input and output
// slices, no exceptions, one zlib state per object. DecompressBuf/DecompressString
// inflate a whole in-memory stream and raise EZLibError; they live in a unit built
// with exceptions on and are for callers that can catch.
//
// Every stream is untrusted: a stream that asks for a preset dictionary, a stream
// that ends before its end marker and an output beyond the caller's limit are
// errors, never an endless loop or an unbounded allocation.
#pragma once
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "util/PlatformHelpers.h"

// zlib's message text for a result code: "file error" (-1), "stream error" (-2),
// "data error" (-3), "insufficient memory" (-4), "buffer error" (-5),
// "incompatible version" (-6), "stream end" (1), "need dictionary" (2), "" (0);
// "unknown zlib error" for any other code.
const char* ZErrorText(int code);

enum class ZStatus {
  Ok,         // progress made; the output slice is full: call again with fresh room
  NeedInput,  // all input taken; feed more, or call with none left to drain the rest
  StreamEnd,  // the end marker and check value were read; unused input is left in place
  Error,      // the stream is unusable; Error() says why
};

class ZInflater {
 public:
  ZInflater();
  ~ZInflater();  // inflateEnd, always
  // The zlib state points back at the stream structure: the object stays put.
  ZInflater(const ZInflater&) = delete;
  ZInflater& operator=(const ZInflater&) = delete;

  // False when the zlib state could not be set up (Error() then says why).
  bool ok() const { return initialised_; }

  // Inflates from in[0..inLeft) into out[0..outSize). Advances in and lowers inLeft
  // by the bytes taken, and sets produced to the bytes written. Calling it with no
  // input left means "there is no more input": pending output is still delivered,
  // and when there is none the stream was truncated ("buffer error"). A stream that
  // needs a preset dictionary fails with "need dictionary". After StreamEnd, further
  // calls produce nothing and return StreamEnd; after Error they return Error.
  ZStatus Inflate(const uint8_t*& in, size_t& inLeft, uint8_t* out, size_t outSize, size_t& produced);

  // Makes the object ready for the next stream (keeps the zlib state's memory).
  bool Reset();

  // zlib's message text of the failure ("data error", ...); empty while all is well.
  const std::string& Error() const { return error_; }
  // zlib's detailed reason when it gave one ("incorrect header check", ...).
  const std::string& Detail() const { return detail_; }
  // Bytes produced since construction or the last Reset.
  uint64_t TotalOut() const { return totalOut_; }

 private:
  ZStatus Fail(int code);

  z_stream stream_{};
  bool initialised_ = false;
  bool ended_ = false;
  bool failed_ = false;
  uint64_t totalOut_ = 0;
  std::string error_;
  std::string detail_;
};

// ---- Whole-buffer inflation (raises EZLibError) ----------------------------

class EZLibError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The code itself when it is 0 or positive; raises EZLibError with zlib's message
// text for a negative code.
int CheckZ(int code);

// The largest output the whole-buffer calls produce; more is "insufficient memory".
inline constexpr size_t kMaxInflateOutput =
    sizeof(size_t) > 4 ? size_t(1) << 30 : (size_t(1) << 30) - 1;

// Inflates the zlib stream in[0..inLen) into out (replaced). estimate is the
// expected output size (0 = none); the buffer starts there (or at the input size
// rounded up to 256 bytes) and doubles when full. progress, when given, is called
// as (0, 0, inLen, bytes out so far, 1, 0) once before inflating and after every
// inflate call. Raises EZLibError ("data error", "buffer error", "need dictionary",
// "insufficient memory" when the output would pass maxOutput or memory runs out);
// out is then empty.
void DecompressBuf(const void* in, size_t inLen, size_t estimate, std::vector<uint8_t>& out,
                   ProgressCallback progress = nullptr, size_t maxOutput = kMaxInflateOutput);

// The same over byte strings; out is replaced (empty after an error).
void DecompressString(const std::string& in, std::string& out, ProgressCallback progress = nullptr,
                      size_t maxOutput = kMaxInflateOutput);
