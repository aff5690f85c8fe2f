// HTML rendering of result and error pages.
//
// A reader of these pages scans each line for "<b>PHRASE</b>" and walks the text
// after it up to the next '.', skipping what lies inside tags, and a '.' inside a
// tag confuses it. So the snippet line ends with the sentence itself, and the
// markup around results carries no '.' in its tags.
#include "searchd/http/result_page.h"

#include "searchd/http/query_decode.h"
#include "searchd/text/windows1252.h"

namespace talewick::search {

namespace {

std::string Escape(std::string_view text, bool quotes) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += quotes ? "&quot;" : "\"";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string InCharset(std::string utf8, PageCharset charset) {
  if (charset == PageCharset::kWindows1252) utf8 = Windows1252FromUtf8(utf8);
  return utf8;
}

}  // namespace

std::string EscapeHtmlText(std::string_view text) { return Escape(text, false); }

std::string EscapeHtmlAttribute(std::string_view text) { return Escape(text, true); }

std::string HighlightSnippet(const SearchHit& hit) {
  const std::string_view sentence = hit.sentence;
  std::string out;
  std::size_t pos = 0;
  for (const PhraseMatch& match : hit.matches) {
    out += EscapeHtmlText(sentence.substr(pos, match.offset - pos));
    out += "<b>";
    out += EscapeHtmlText(sentence.substr(match.offset, match.length));
    out += "</b>";
    pos = match.offset + match.length;
  }
  out += EscapeHtmlText(sentence.substr(pos));
  return out;
}

constexpr std::string_view kBlockOpen = "<div class=\"g\">\n<h3 class=\"r\">";
constexpr std::string_view kBlockMiddle = "</h3>\n<div class=\"s\">";
constexpr std::string_view kBlockClose = "\n</div></div>\n";
static_assert(kBlockOpen.size() + kBlockMiddle.size() + kBlockClose.size() ==
                  kResultBlockFrameBytes,
              "the index sizes a result by its frame");

std::string RenderResultBlock(const SearchHit& hit) {
  std::string block(kBlockOpen);
  block += EscapeHtmlText(hit.title);
  block += kBlockMiddle;
  block += HighlightSnippet(hit);
  block += kBlockClose;
  return block;
}

const char* CharsetName(PageCharset charset) {
  return charset == PageCharset::kWindows1252 ? "windows-1252" : "utf-8";
}

std::string RenderResultPage(std::string_view q, const std::vector<SearchHit>& hits,
                             PageCharset charset) {
  std::vector<std::string> blocks;
  std::vector<std::size_t> sizes;
  for (const SearchHit& hit : hits) {
    blocks.push_back(InCharset(RenderResultBlock(hit), charset));
    sizes.push_back(blocks.back().size());
  }
  const std::vector<std::size_t> kept = FittingBlocks(sizes);
  const std::string query = EscapeHtmlText(q);
  std::string head;
  head +=
      "<!DOCTYPE html>\n<html><head><meta charset=\"" + std::string(CharsetName(charset)) + "\">\n";
  head += "<title>" + query + " - Talewick Search</title></head>\n<body>\n";
  head += "<form action=\"/search\" method=\"get\"><input name=\"q\" size=\"60\" value=\"" +
          EscapeHtmlAttribute(q) +
          "\"><input type=\"submit\" name=\"btnG\" value=\"Search\"></form>\n";
  if (kept.empty()) {
    head += "<p id=\"stats\">No results for " + query + "</p>\n";
  } else {
    head +=
        "<p id=\"stats\">Results 1 - " + std::to_string(kept.size()) + " for " + query + "</p>\n";
  }
  std::string page = InCharset(std::move(head), charset);
  for (const std::size_t i : kept) page += blocks[i];
  page += "</body></html>\n";
  return page;
}

static_assert(kMaxPageBytes - kMaxHitBytes > std::size_t{3} * 6 * kMaxQueryBytes + 1024,
              "the frame of a page holds the query three times, each byte escaped in six");

std::string RenderErrorPage(int status, std::string_view reason) {
  const std::string text = std::to_string(status) + " " + EscapeHtmlText(reason);
  return "<!DOCTYPE html>\n<html><head><title>" + text + "</title></head>\n<body><h1>" + text +
         "</h1></body></html>\n";
}

}  // namespace talewick::search
