// Portable rules of the debug channel and the update log.
#include "util/DebugLog.h"

#include <utility>

bool DebugModeWritesFile(uint8_t mode) { return mode == 1 || mode == 2; }
bool DebugModeSendsToViewer(uint8_t mode) { return mode == 0 || mode == 2; }

std::string DebugFileText(const std::string& chunk) {
  std::string out;
  out.reserve(chunk.size() + chunk.size() / 8 + 2);
  for (size_t i = 0; i < chunk.size(); ++i) {
    char c = chunk[i];
    if (c == '\0') continue;
    if (c == '\r') {
      if (i + 1 < chunk.size() && chunk[i + 1] == '\n') ++i;
      out += "\r\n";
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::string> SplitForAtoms(const std::string& chunk, size_t maxLen) {
  std::vector<std::string> pieces;
  if (maxLen == 0) return pieces;
  std::string piece;
  for (char c : chunk) {
    if (c == '\0') continue;
    piece += c;
    if (piece.size() == maxLen) {
      pieces.push_back(std::move(piece));
      piece.clear();
    }
  }
  if (!piece.empty()) pieces.push_back(std::move(piece));
  return pieces;
}

// ---- channel ---------------------------------------------------------------------------

void TDebugChannel::Bind(Sink sink, void* context) {
  sink_ = sink;
  context_ = context;
}

// The buffer is emptied into chunks before any chunk is delivered, so a write
// that arrives during delivery starts on a fresh buffer.
void TDebugChannel::Append(const std::string& text, std::vector<std::string>& chunks) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t room = kDebugBufferSize - buffer_.size();
    size_t take = text.size() - pos < room ? text.size() - pos : room;
    buffer_.append(text, pos, take);
    pos += take;
    if (buffer_.size() == kDebugBufferSize) {
      chunks.push_back(std::move(buffer_));
      buffer_.clear();
    }
  }
}

void TDebugChannel::Deliver(std::vector<std::string>& chunks) {
  if (delivering_) {
    for (auto& c : chunks) {
      if (pendingBytes_ + c.size() > kMaxPendingBytes) {
        ++dropped_;
        continue;
      }
      pendingBytes_ += c.size();
      pending_.push_back(std::move(c));
    }
    return;
  }
  delivering_ = true;
  for (auto& c : chunks) sink_(context_, c);
  // Whatever the sink wrote back meanwhile, in the order it was written. The byte
  // budget covers the whole delivery, so a sink that always writes back ends.
  while (!pending_.empty()) {
    std::vector<std::string> batch;
    batch.swap(pending_);
    for (auto& c : batch) sink_(context_, c);
  }
  pendingBytes_ = 0;
  delivering_ = false;
}

void TDebugChannel::Write(const std::string& text) {
  if (!sink_) return;
  std::vector<std::string> chunks;
  Append(text, chunks);
  if (!chunks.empty()) Deliver(chunks);
}

void TDebugChannel::WriteLine(const std::string& text) {
  if (!sink_) return;
  std::vector<std::string> chunks;
  Append(text, chunks);
  Append("\r\n", chunks);
  if (!buffer_.empty()) {
    chunks.push_back(std::move(buffer_));
    buffer_.clear();
  }
  if (!chunks.empty()) Deliver(chunks);
}

// ---- line formats ----------------------------------------------------------------------

std::string ExceptionLine(const std::string& message, const std::string& where,
                          const std::string& detail) {
  return " --- " + where + " (" + detail + ") --- " + message;
}

std::string QueryLine(const std::string& a, const std::string& b, const std::string& c,
                      const std::string& d) {
  return "[" + a + "]  [" + b + "]  [" + c + "]  [" + d + "]";
}

std::string DebugText(unsigned long long value) {
  char digits[24];
  size_t n = 0;
  do {
    digits[n++] = char('0' + value % 10);
    value /= 10;
  } while (value != 0);
  std::string out;
  while (n > 0) out += digits[--n];
  return out;
}

std::string DebugText(long long value) {
  if (value >= 0) return DebugText(static_cast<unsigned long long>(value));
  // Negate in unsigned arithmetic so the smallest value does not overflow.
  return "-" + DebugText(0ULL - static_cast<unsigned long long>(value));
}

std::string DebugText(bool value) { return value ? "TRUE" : "FALSE"; }

// ---- update log ------------------------------------------------------------------------

namespace {

bool IsPathDelimiter(char c) { return c == '\\' || c == '/' || c == ':'; }

}  // namespace

std::string AgentLogLine(const LocalDateTime& t, uint32_t threadId, const std::string& indent,
                         const std::string& message, const std::string& dateSep,
                         const std::string& timeSep) {
  std::string id = DebugText(static_cast<unsigned long long>(threadId));
  if (id.size() < 5) id.insert(0, 5 - id.size(), ' ');
  return LogTimestampOf(t, dateSep, timeSep) + " " + id + indent + message + "\r\n";
}

std::string AgentLogPathFor(const std::string& programPath) {
  size_t nameStart = programPath.size();
  while (nameStart > 0 && !IsPathDelimiter(programPath[nameStart - 1])) --nameStart;
  std::string folder = programPath.substr(0, nameStart);
  std::string name = programPath.substr(nameStart);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  if (name.compare(0, 2, "X_") != 0) name.insert(0, "X_");
  return folder + name + ".log";
}

bool DeveloperModeFromValue(const std::string& dvxValue) { return dvxValue == kDeveloperValue; }
