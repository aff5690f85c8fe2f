// HTML rendering of result and error pages.
//
// A reader of these pages scans each line for "<b>PHRASE</b>" and walks the text
// after it up to the next '.', skipping what lies inside tags, and a '.' inside a
// tag confuses it. So the snippet line ends with the sentence itself, and the
// markup around results carries no '.' in its tags.
#include "result_page.h"

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

}  // namespace

std::string EscapeHtmlText(std::string_view text) { return Escape(text, false); }

std::string EscapeHtmlAttribute(std::string_view text) { return Escape(text, true); }

std::string HighlightSnippet(const SearchHit& hit) {
  std::string out;
  std::size_t pos = 0;
  for (const PhraseMatch& match : hit.matches) {
    out += EscapeHtmlText(hit.sentence.substr(pos, match.offset - pos));
    out += "<b>";
    out += EscapeHtmlText(hit.sentence.substr(match.offset, match.length));
    out += "</b>";
    pos = match.offset + match.length;
  }
  out += EscapeHtmlText(hit.sentence.substr(pos));
  return out;
}

std::string RenderResultPage(std::string_view q, const std::vector<SearchHit>& hits) {
  const std::string query = EscapeHtmlText(q);
  std::string page;
  page += "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n";
  page += "<title>" + query + " - Talewick Search</title></head>\n<body>\n";
  page += "<form action=\"/search\" method=\"get\"><input name=\"q\" size=\"60\" value=\"" +
          EscapeHtmlAttribute(q) +
          "\"><input type=\"submit\" name=\"btnG\" value=\"Search\"></form>\n";
  if (hits.empty()) {
    page += "<p id=\"stats\">No results for " + query + "</p>\n";
  } else {
    page +=
        "<p id=\"stats\">Results 1 - " + std::to_string(hits.size()) + " for " + query + "</p>\n";
  }
  for (const SearchHit& hit : hits) {
    page += "<div class=\"g\">\n<h3 class=\"r\">" + EscapeHtmlText(hit.title) + "</h3>\n";
    page += "<div class=\"s\">" + HighlightSnippet(hit) + "\n</div></div>\n";
  }
  page += "</body></html>\n";
  return page;
}

std::string RenderErrorPage(int status, std::string_view reason) {
  const std::string text = std::to_string(status) + " " + EscapeHtmlText(reason);
  return "<!DOCTYPE html>\n<html><head><title>" + text + "</title></head>\n<body><h1>" + text +
         "</h1></body></html>\n";
}

}  // namespace talewick::search
