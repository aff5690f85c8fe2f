// The scan of a random result page, and SecondPartDLF on it. The candidate table
// must hold only texts of 3 to 199 characters of "a" to "z" and space, distinct,
// with counts that add up to what the scanning rules give for the page (an
// independent model of them below); the stage must then record one of them, or
// nothing, in the story list, the story file and the history.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "analysis/candidate_table.h"
#include "analysis/result_analysis.h"
#include "core/story_state.h"
#include "fuzz_support.h"
#include "window/scripted/scripted_window.h"
#include "window/window_layer.h"

using namespace talewick;

using fuzz::Require;

namespace {

// The scanning rules, written out plainly: every search from the line's start,
// each occurrence masked with "*", at most 101 per line; the walk from the second
// character after the occurrence; the tag state carried across the whole page.
std::map<std::string, int> ModelCounts(const std::vector<std::string>& lines,
                                       const std::string& pattern,
                                       std::vector<std::string>& order) {
  std::map<std::string, int> counts;
  bool inTag = false;
  const size_t P = pattern.size();
  for (const std::string& original : lines) {
    std::string line = TextLower(original);
    for (int pass = 0; pass < 101; ++pass) {
      const size_t at = line.find(pattern);
      if (at == std::string::npos) break;
      line.replace(at, P, std::string(P, '*'));
      const size_t p = at + 1;
      std::string candidate;
      for (size_t k = 0; k <= 200; ++k) {
        if (p + P + k >= line.size()) break;
        const unsigned char c = static_cast<unsigned char>(line[p + P + k]);
        if (k >= 1 && c == '<') inTag = true;
        if (k >= 1 && c == '>') inTag = false;
        if (k <= 198 && !inTag && ((c >= 'a' && c <= 'z') || c == ' '))
          candidate += static_cast<char>(c);
        if (k >= 1 && c == '.') break;
      }
      if (candidate.empty() || candidate == " ") continue;
      const size_t nbsp = candidate.find("nbsp");
      if (nbsp != std::string::npos) candidate.erase(nbsp, 4);
      if (candidate.size() < 3) continue;
      auto found = counts.find(candidate);
      if (found != counts.end()) {
        ++found->second;
      } else if (order.size() < kCandidateEntries) {
        counts.emplace(candidate, 1);
        order.push_back(candidate);
      }
    }
  }
  return counts;
}

bool Collectable(std::string_view text) {
  for (char c : text) {
    if (!((c >= 'a' && c <= 'z') || c == ' ')) return false;
  }
  return true;
}

void CheckTable(const CandidateTable& table, const std::string& page, const std::string& pattern) {
  Require(table.nextFree >= 1 && table.nextFree <= kCandidateEntries + 1, "nextFree out of range");
  std::vector<std::string> order;
  const std::map<std::string, int> model = ModelCounts(fuzz::SplitTextLines(page), pattern, order);
  Require(table.nextFree - 1 == static_cast<int>(order.size()), "number of entries differs");
  for (int entry = 1; entry <= kCandidateEntries; ++entry) {
    const std::string_view text = table.text[entry].view();
    if (entry >= table.nextFree) {
      Require(text.empty() && table.count[entry] == 0, "an unused entry is not empty");
      continue;
    }
    Require(text.size() >= 3 && text.size() <= 199, "an entry's text is not 3 to 199 long");
    Require(Collectable(text), "an entry holds a character other than a-z and space");
    Require(text == order[static_cast<size_t>(entry) - 1], "entries not in first-found order");
    Require(table.count[entry] == model.at(order[static_cast<size_t>(entry) - 1]),
            "an entry's count differs from the occurrences");
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string searchWords = in.ConsumeRandomLengthString(20);
  const int historyHits = in.ConsumeIntegralInRange(0, 3);
  const std::string page = in.ConsumeRemainingBytesAsString();

  static const std::string folder = StartFolder();
  static const std::string pagePath = folder + "googleblog.htm";
  static const std::string storyPath = folder + "OutPutTextFile.txt";
  FILE* out = std::fopen(pagePath.c_str(), "wb");
  if (out == nullptr) return 0;
  std::fwrite(page.data(), 1, page.size(), out);
  std::fclose(out);
  std::remove(storyPath.c_str());

  // The scan alone, checked entry by entry against the model.
  ClearStoryState();
  UseStoryFolder(folder);
  TextCopy(Story.Title, "Talewick 02");
  // The pattern of the words as the state record holds them (a text ends at a NUL).
  TextCopy(Story.SearchWords, searchWords);
  const std::string pattern = HighlightPattern(Story.SearchWords);
  static CandidateTable table;
  ClearCandidates(table);
  if (FileOpen(Story.PageFile, pagePath, "r") == 0) {
    ScanPage(Story.PageFile, pattern, Story.LineBuffer, Story.LineText, table);
    FileClose(Story.PageFile);
  }
  CheckTable(table, page, pattern);

  // The whole stage, with some of the found texts already in the history.
  TextCopy(Story.SearchWords, searchWords);
  for (int i = 1; i <= historyHits && i < table.nextFree; ++i)
    TextCopy(Story.OutputHistory[i], table.text[i]);
  Story.HistoryIndex = historyHits;
  ResetScriptedWindow();
  OpenWindow(0, 0, 840, 400, 0, nullptr, "Talewick 02", nullptr);
  CreateControl(kEditKind, "", 0, 0, 0, 0, 0, kInputBox);
  CreateControl(kListKind, "", 0, 0, 0, 0, 0, kStoryList);
  CreateControl(kStatusKind, "Status...", 0, 0, 0, 0, 0, kStatusBar);
  SecondPartDLF();

  const std::string story = ReadFile(storyPath);
  const std::vector<std::string>& list = StoryLines();
  if (table.nextFree == 1) {
    Require(story.empty() && list.empty(), "something was recorded from an empty table");
    Require(Story.NextInput.view() == "and", "NextInput of an empty table is not \"and\"");
    return 0;
  }
  Require(story.size() >= 2 && story.compare(story.size() - 2, 2, "\r\n") == 0,
          "the story line does not end in CR LF");
  const std::string choice = story.substr(0, story.size() - 2);
  Require(choice.find_first_of("\r\n") == std::string::npos, "more than one story line");
  bool inTable = false;
  for (int entry = 1; entry < table.nextFree; ++entry)
    inTable |= table.text[entry].view() == choice;
  Require(inTable, "the recorded choice is not an entry of the table");
  Require(Story.OutputHistory[historyHits + 1].view() == choice, "the history slot differs");
  Require(Story.HistoryIndex == historyHits + 1, "HistoryIndex did not move on by one");
  std::string joined;
  for (const std::string& line : list) joined += line;
  Require(joined == choice, "the story list lines do not make up the choice");
  Require(list.size() == (choice.size() > 100 ? 2u : 1u), "wrong number of list lines");
  const std::string trimmed = TextTrimLeft(choice);
  Require(Story.NextInput.view() == (trimmed.empty() ? "and" : trimmed),
          "NextInput is not the trimmed choice");
  return 0;
}
