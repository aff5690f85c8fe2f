// Random operations with random arguments on random texts, each checked against
// the rules of the text operations: a store never passes the capacity nor
// touches the bytes around the text, TextFind reports real first occurrences,
// and TextLeft / TextMid give what their clamping rules say.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "text/bounded_text.h"

using namespace talewick;

namespace {

// A stored text between two guard zones that no operation may write.
struct Guarded {
  unsigned char before[16];
  BoundedText text;
  unsigned char after[16];
};

constexpr unsigned char kGuard = 0xA5;

using fuzz::CutAtBoundary;
using fuzz::Require;

void CheckStored(const Guarded& g) {
  for (unsigned char b : g.before) Require(b == kGuard, "byte before the text changed");
  for (unsigned char b : g.after) Require(b == kGuard, "byte after the text changed");
  Require(std::memchr(g.text.bytes, '\0', sizeof g.text.bytes) != nullptr, "text not terminated");
  Require(g.text.length() <= kTextCapacity, "stored text longer than the capacity");
}

// A store keeps a start of the source: all of it when it fits, otherwise a cut
// at the capacity or just before a character that would not fit.
void CheckStoreOf(const Guarded& g, const std::string& source) {
  CheckStored(g);
  const std::string_view kept = g.text.view();
  const std::string_view wanted(source.data(), strnlen(source.data(), source.size()));
  if (wanted.size() <= static_cast<size_t>(kTextCapacity)) {
    Require(kept == wanted, "a text that fits was not stored whole");
  } else {
    Require(wanted.substr(0, kept.size()) == kept, "a cut store is not a start of the source");
    Require(CutAtBoundary(wanted, kept.size(), kTextCapacity), "a store was cut off a boundary");
  }
}

void CheckFind(const std::string& text, const std::string& pattern, int start) {
  const int found = TextFind(text, pattern, start);
  const int from = std::max(start, 1);
  if (found == 0) {
    Require(pattern.empty() || from > static_cast<int>(text.size()) ||
                text.find(pattern, static_cast<size_t>(from - 1)) == std::string::npos,
            "TextFind missed an occurrence");
    return;
  }
  Require(!pattern.empty() && found >= from, "TextFind gave a position before the start");
  Require(static_cast<size_t>(found - 1) + pattern.size() <= text.size(),
          "TextFind result runs past the end");
  Require(text.compare(static_cast<size_t>(found - 1), pattern.size(), pattern) == 0,
          "TextFind result is not an occurrence");
  Require(text.find(pattern, static_cast<size_t>(from - 1)) == static_cast<size_t>(found - 1),
          "TextFind result is not the first occurrence");
}

void CheckLeftMid(const std::string& text, int start, int count) {
  const int length = static_cast<int>(text.size());
  const std::string left = TextLeft(text, count);
  const int leftCount = std::clamp(count, 0, length);
  Require(left == text.substr(0, static_cast<size_t>(leftCount)), "TextLeft is not the start");

  const std::string mid = TextMid(text, start, count);
  int s = std::clamp(start, 1, length + 1);
  int n = count < 0 ? length - s + 1 : count;
  if (static_cast<long long>(s) + n > length) n = length - s + 1;
  Require(mid == text.substr(static_cast<size_t>(s - 1), static_cast<size_t>(n)),
          "TextMid is not the clamped substring");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Guarded g;
  std::memset(&g, kGuard, sizeof g);
  g.text.bytes[0] = '\0';

  while (in.remaining_bytes() > 0) {
    const int op = in.ConsumeIntegralInRange(0, 7);
    const std::string current(g.text.view());
    switch (op) {
      case 0: {
        const std::string source = in.ConsumeRandomLengthString(600);
        TextCopy(g.text, source);
        CheckStoreOf(g, source);
        break;
      }
      case 1: {
        const char c = in.ConsumeIntegral<char>();
        TextAppendChar(g.text, c);
        CheckStored(g);
        const bool grows = c != '\0' && current.size() < static_cast<size_t>(kTextCapacity);
        Require(g.text.view() == (grows ? current + c : current), "TextAppendChar result");
        break;
      }
      case 2: {
        const std::string pattern = in.ConsumeRandomLengthString(8);
        CheckFind(current, pattern, in.ConsumeIntegralInRange(-2, 260));
        break;
      }
      case 3:
        CheckLeftMid(current, in.ConsumeIntegralInRange(-3, 300),
                     in.ConsumeIntegralInRange(-3, 300));
        break;
      case 4: {
        // Joining, trimming and lower-casing make temporaries; storing one is a store.
        const std::string other = in.ConsumeRandomLengthString(300);
        const std::string joined = TextJoin(current, other);
        Require(joined == current + other, "TextJoin is not the concatenation");
        TextCopy(g.text, joined);
        CheckStoreOf(g, joined);
        break;
      }
      case 5: {
        const std::string left = TextTrimLeft(current);
        const std::string right = TextTrimRight(current);
        Require(left.empty() || (left[0] != ' ' && left[0] != '\t'), "TextTrimLeft left a blank");
        Require(right.empty() || (right.back() != ' ' && right.back() != '\t'),
                "TextTrimRight left a blank");
        Require(current.size() >= left.size() &&
                    current.compare(current.size() - left.size(), left.size(), left) == 0,
                "TextTrimLeft is not an end of the text");
        Require(current.compare(0, right.size(), right) == 0,
                "TextTrimRight is not a start of the text");
        const std::string lower = TextLower(current);
        Require(lower.size() == current.size(), "TextLower changed the length");
        TextCopy(g.text, lower);
        CheckStoreOf(g, lower);
        break;
      }
      case 6: {
        const int position = in.ConsumeIntegralInRange(-3, 300);
        const unsigned char c = CharAt(current, position);
        Require(position >= 0 && position < static_cast<int>(current.size())
                    ? c == static_cast<unsigned char>(current[static_cast<size_t>(position)])
                    : c == 0,
                "CharAt outside the text is not the terminator");
        Require(TextEquals(current, g.text.view()), "TextEquals of a text with itself");
        break;
      }
      default: {
        const double number = in.ConsumeFloatingPoint<double>();
        const std::string text = NumberText(number);
        Require(!text.empty() && text[0] == ' ', "NumberText without its leading space");
        TextCopy(g.text, text);
        CheckStoreOf(g, text);
        break;
      }
    }
  }
  return 0;
}
