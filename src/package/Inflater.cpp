#include "package/Inflater.h"

#include <climits>

const char* ZErrorText(int code) {
  switch (code) {
    case Z_NEED_DICT: return "need dictionary";
    case Z_STREAM_END: return "stream end";
    case Z_OK: return "";
    case Z_ERRNO: return "file error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_VERSION_ERROR: return "incompatible version";
    default: return "unknown zlib error";
  }
}

ZInflater::ZInflater() {
  int r = inflateInit(&stream_);
  initialised_ = r == Z_OK;
  if (!initialised_) Fail(r);
}

ZInflater::~ZInflater() {
  if (initialised_) inflateEnd(&stream_);
}

ZStatus ZInflater::Fail(int code) {
  failed_ = true;
  error_ = ZErrorText(code);
  detail_ = stream_.msg ? stream_.msg : "";
  return ZStatus::Error;
}

bool ZInflater::Reset() {
  if (!initialised_) return false;
  if (inflateReset(&stream_) != Z_OK) {
    Fail(Z_STREAM_ERROR);
    return false;
  }
  ended_ = failed_ = false;
  totalOut_ = 0;
  error_.clear();
  detail_.clear();
  return true;
}

ZStatus ZInflater::Inflate(const uint8_t*& in, size_t& inLeft, uint8_t* out, size_t outSize, size_t& produced) {
  produced = 0;
  if (failed_ || !initialised_) return ZStatus::Error;
  if (ended_) return ZStatus::StreamEnd;
  if ((!in && inLeft) || (!out && outSize)) return Fail(Z_STREAM_ERROR);

  // zlib counts in 32-bit units: larger slices are taken a part at a time.
  const uInt inPart = inLeft > UINT_MAX ? UINT_MAX : uInt(inLeft);
  const uInt outPart = outSize > UINT_MAX ? UINT_MAX : uInt(outSize);
  stream_.next_in = const_cast<Bytef*>(in);
  stream_.avail_in = inPart;
  stream_.next_out = out;
  stream_.avail_out = outPart;
  int r = inflate(&stream_, Z_NO_FLUSH);
  const size_t taken = inPart - stream_.avail_in;
  produced = outPart - stream_.avail_out;
  in += taken;
  inLeft -= taken;
  totalOut_ += produced;
  stream_.next_in = nullptr;
  stream_.next_out = nullptr;

  switch (r) {
    case Z_STREAM_END:
      ended_ = true;
      return ZStatus::StreamEnd;
    case Z_OK:
      return inLeft == 0 ? ZStatus::NeedInput : ZStatus::Ok;
    case Z_NEED_DICT:
      // Packages never use a preset dictionary; waiting for one would never end.
      return Fail(Z_NEED_DICT);
    default:
      // Z_BUF_ERROR: no progress was possible, which with no input left means the
      // stream ended before its end marker.
      return Fail(r);
  }
}
