#include "process/ProcessList.h"

#include "util/SeparatorLists.h"

namespace {

bool HasShortForm(const ProcessQuery& query) {
  return !query.shortPath.empty() && query.shortPath != kNoShortForm;
}

// The lines of a text, split at CR LF (a lone LF ends a line too).
std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t stop = end > start && text[end - 1] == '\r' ? end - 1 : end;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> FieldsOf(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return fields;
}

}  // namespace

std::string BareFileName(const std::string& path) {
  size_t cut = path.find_last_of("\\/:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

ProcessQuery MakeProcessQuery(const std::string& path, bool nameOnly) {
  ProcessQuery q;
  q.path = path;
  q.shortPath = kNoShortForm;
  q.nameOnly = nameOnly;
  return q;
}

bool MayBeProcessOf(const ProcessQuery& query, const std::string& exeName) {
  const std::string name = BareFileName(Trim(exeName));
  if (name.empty()) return false;
  if (SameTextTrimmed(name, BareFileName(Trim(query.path)))) return true;
  if (!query.longPath.empty() && SameTextTrimmed(name, BareFileName(Trim(query.longPath)))) return true;
  return HasShortForm(query) && SameTextTrimmed(name, BareFileName(Trim(query.shortPath)));
}

bool NeedsShortFormOf(const ProcessQuery& query, const std::string& imagePath) {
  if (!HasShortForm(query) || imagePath.empty()) return false;
  return query.longPath.empty() || imagePath.find('~') != std::string::npos;
}

EntryMatch MatchProcessEntry(const ProcessQuery& query, const ProcessEntry& entry) {
  if (Trim(query.path).empty()) return EntryMatch::No;
  if (entry.imagePath.empty()) {
    if (!MayBeProcessOf(query, entry.exeName)) return EntryMatch::No;
    if (!query.nameOnly && SameTextTrimmed(BareFileName(Trim(entry.exeName)), query.path)) return EntryMatch::Yes;
    return EntryMatch::CannotTell;
  }
  const std::string bare = query.nameOnly ? std::string(kNoBareName) : BareFileName(Trim(entry.imagePath));
  if (SameTextTrimmed(entry.imagePath, query.path) || SameTextTrimmed(bare, query.path)) return EntryMatch::Yes;
  if (!query.longPath.empty() && SameTextTrimmed(entry.imagePath, query.longPath)) return EntryMatch::Yes;
  if (HasShortForm(query) && !entry.shortPath.empty() && entry.shortPath != kNoShortForm &&
      SameTextTrimmed(entry.shortPath, query.shortPath))
    return EntryMatch::Yes;
  return EntryMatch::No;
}

ProcessLookup FindInProcessList(const ProcessQuery& query, const std::vector<ProcessEntry>& entries,
                                uint32_t sessionId, bool firstOnly) {
  ProcessLookup found;
  bool unsure = false;
  for (const ProcessEntry& e : entries) {
    if (e.sessionId != sessionId) continue;
    EntryMatch m = MatchProcessEntry(query, e);
    if (m == EntryMatch::CannotTell) unsure = true;
    if (m != EntryMatch::Yes) continue;
    found.state = ProcessState::Running;
    found.pid = e.pid;
    if (firstOnly) break;
  }
  if (found.state != ProcessState::Running && unsure) found.state = ProcessState::Unknown;
  return found;
}

std::string ProcessListText(const std::vector<ProcessEntry>& entries, bool withIds, bool fullPaths) {
  std::string text = "|";
  for (const ProcessEntry& e : entries) {
    text += fullPaths && !e.imagePath.empty() ? e.imagePath : BareFileName(e.exeName);
    if (withIds) text += "=" + IntToStr(e.pid);
    text += "|";
  }
  return text;
}

ProcessLookup ParseTaskList(const std::string& output, const std::string& path, bool fromEnd) {
  ProcessLookup result;
  const std::string name = BareFileName(Trim(path));
  std::vector<std::string> lines = LinesOf(ReplaceAll(Trim(output), "\"", ""));
  bool anyRecord = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> fields = FieldsOf(lines[fromEnd ? lines.size() - 1 - i : i]);
    if (fields.size() < 2) continue;
    anyRecord = true;
    int64_t id = 0;
    if (!name.empty() && SameTextTrimmed(fields[0], name) && TryParseInt64(Trim(fields[1]), id) && id > 0 &&
        id <= int64_t(UINT32_MAX)) {
      result.state = ProcessState::Running;
      result.pid = uint32_t(id);
      return result;
    }
  }
  result.state = anyRecord ? ProcessState::NotRunning : ProcessState::Unknown;
  return result;
}
