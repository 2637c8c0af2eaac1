// A sink that keeps extracted files in memory and a host that answers for the user,
// so that the extraction runs without a window or a disk.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "package/Extractor.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/SeparatorLists.h"

struct MemoryEntry {
  std::string data;
  uint32_t dosDate = 0;
  int opens = 0;
};

class MemorySink : public ExtractSink {
 public:
  std::map<std::string, MemoryEntry> files;  // upper-cased name -> file
  std::string folderError;                  // CreateFolder's answer
  std::string failName;                     // Open of this name fails
  int64_t failAfterBytes = -1;              // Write fails once this many bytes are written
  int64_t freeBytes = -1;
  uint64_t written = 0;
  std::vector<std::string> unsafeNames;     // names that should never have come here

  std::string CreateFolder() override { return folderError; }
  bool Exists(const std::string& name) override { return files.count(UpperCase(name)) != 0; }
  bool Open(const std::string& name, bool append) override {
    if (!IsPlainFileName(name)) unsafeNames.push_back(name);
    if (!failName.empty() && SameText(name, failName)) return false;
    MemoryEntry& e = files[UpperCase(name)];
    if (!append) e.data.clear();
    ++e.opens;
    current_ = &e;
    return true;
  }
  bool Write(const uint8_t* data, size_t count) override {
    if (!current_) return false;
    if (failAfterBytes >= 0 && written + count > uint64_t(failAfterBytes)) return false;
    current_->data.append(reinterpret_cast<const char*>(data), count);
    written += count;
    return true;
  }
  bool Close(uint32_t dosDate) override {
    if (!current_) return false;
    if (dosDate) current_->dosDate = dosDate;
    current_ = nullptr;
    return true;
  }
  std::string PathOf(const std::string& name) override { return "T:\\" + name; }
  bool Replace(const std::string& from, const std::string& to) override {
    auto it = files.find(UpperCase(from));
    if (it == files.end()) return false;
    files[UpperCase(to)] = it->second;
    files.erase(UpperCase(from));
    return true;
  }
  void Remove(const std::string& name) override { files.erase(UpperCase(name)); }
  int64_t FreeBytes() override { return freeBytes; }
  std::string FailureReport(const std::string& name, int64_t size) override {
    return name + " failed after " + IntToStr(size);
  }
  const std::string* Data(const std::string& name) const {
    auto it = files.find(UpperCase(name));
    return it == files.end() ? nullptr : &it->second.data;
  }

 private:
  MemoryEntry* current_ = nullptr;
};

class ScriptedHost : public ExtractHost {
 public:
  std::map<std::string, std::string> pieces;  // path -> bytes
  std::function<bool(int piece)> onPrompt = [](int) { return false; };
  std::vector<int> prompts;
  std::vector<std::pair<int, int>> progress;  // (mode, maximum)
  std::vector<std::string> traces, errors;
  int abortAfterPumps = -1;
  int pumps = 0;
  int autoPlay = 0, ejects = 0;
  uint32_t packageDate = 0x5A6B1234;

  std::unique_ptr<ReadOnlyFile> OpenPiece(const std::string& path) override {
    auto it = pieces.find(path);
    if (it == pieces.end()) return nullptr;
    return std::make_unique<MemoryFile>(it->second);
  }
  bool PieceExists(const std::string& path) override { return pieces.count(path) != 0; }
  uint32_t FileDate(const std::string&) override { return packageDate; }
  bool AskForDisk(int piece) override {
    prompts.push_back(piece);
    return onPrompt(piece);
  }
  void EjectIfRemovable(const std::string&) override { ++ejects; }
  void EnableAutoPlayCancel() override { ++autoPlay; }
  void Progress(int mode, int maximum) override { progress.push_back({mode, maximum}); }
  bool PumpAndCheckAbort() override { return abortAfterPumps >= 0 && ++pumps > abortAfterPumps; }
  void Wait(int) override {}
  void Trace(const std::string& line) override { traces.push_back(line); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  uint64_t Milliseconds() override { return 0; }
  int Steps() const {
    int n = 0;
    for (auto& p : progress) n += p.first == 1;
    return n;
  }
};
