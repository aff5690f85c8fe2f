// DownloadString and DisectInput on a random input and a random word list. The
// accepted words must be exactly the space-separated pieces of the lower-cased
// input, trimmed, that equal a whole line of the list, in input order, at most
// 99 of them; the table slots around them stay empty; a missing list gives one
// message box per piece and no word.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "core/story_state.h"
#include "fuzz_support.h"
#include "query/input_words.h"
#include "window/scripted/scripted_window.h"
#include "window/window_layer.h"

using namespace talewick;

using fuzz::Require;

namespace {

std::string Trimmed(const std::string& piece) {
  const size_t first = piece.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return piece.substr(first, piece.find_last_not_of(" \t") - first + 1);
}

// The input split at spaces only; n spaces give n + 1 pieces.
std::vector<std::string> Pieces(const std::string& text) {
  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == ' ') {
      pieces.emplace_back();
    } else {
      pieces.back() += c;
    }
  }
  for (std::string& piece : pieces) piece = Trimmed(piece);
  return pieces;
}

void StartWindow() {
  ResetScriptedWindow();
  OpenWindow(0, 0, 840, 400, 0, nullptr, "Talewick 02", nullptr);
  CreateControl(kEditKind, "", 0, 0, 0, 0, 0, kInputBox);
  CreateControl(kStatusKind, "Status...", 0, 0, 0, 0, 0, kStatusBar);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool listPresent = in.ConsumeIntegralInRange(0, 15) != 0;
  const std::string list = in.ConsumeRandomLengthString(4000);
  const std::string input = in.ConsumeRemainingBytesAsString();

  static const std::string listPath = StartFolder() + "dictionary.txt";
  std::remove(listPath.c_str());
  if (listPresent) {
    FILE* out = std::fopen(listPath.c_str(), "wb");
    if (out == nullptr) return 0;
    std::fwrite(list.data(), 1, list.size(), out);
    std::fclose(out);
  }
  ClearStoryState();
  UseStoryFolder(StartFolder());
  TextCopy(Story.Title, "Talewick 02");
  StartWindow();
  TextCopy(Story.InputText, input);
  const std::string stored(Story.InputText.view());
  DownloadString();
  DisectInput();

  const std::string lowered = TextLower(stored);
  Require(Story.LoweredInput.view() == lowered, "LoweredInput is not the lower-cased input");
  Require(Story.WordCount >= 1 && Story.WordCount <= kWordTableSlots, "WordCount out of 1..100");
  Require(Story.InputWords[0].empty(), "InputWords slot 0 was written");

  const std::vector<std::string> pieces = Pieces(lowered);
  const std::vector<std::string> listLines = fuzz::SplitTextLines(list);
  const std::set<std::string> lines =
      listPresent ? std::set<std::string>(listLines.begin(), listLines.end())
                  : std::set<std::string>{};
  std::vector<std::string> accepted;
  bool rejected = false;
  for (const std::string& piece : pieces) {
    if (lines.count(piece) != 0) {
      if (accepted.size() < kWordTableSlots - 1) accepted.push_back(piece);
    } else {
      rejected = true;
    }
  }
  Require(Story.WordCount == static_cast<int>(accepted.size()) + 1,
          "WordCount is not one more than the words accepted");
  for (size_t i = 0; i < accepted.size(); ++i) {
    const std::string_view word = Story.InputWords[i + 1].view();
    Require(word == accepted[i], "an accepted word differs from the list's line");
    Require(TextLower(word) == word, "an accepted word is not lower-case");
  }
  for (int slot = Story.WordCount; slot <= 30; ++slot)
    Require(Story.InputWords[slot].empty(), "a slot after the accepted words is not empty");

  const ScriptedWindow& window = Scripted();
  if (!listPresent) {
    Require(window.messageBoxes.size() == pieces.size(), "not one message box per word");
  } else {
    Require(window.messageBoxes.empty(), "a message box while the list exists");
  }
  const std::string& status = window.controls.at(kStatusBar).text;
  Require((status == "bad word") == rejected, "\"bad word\" shown exactly when a word is rejected");
  return 0;
}
