// Options come as "--name value" pairs, as talewick-search takes them.
#include "launch_options.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/command_options.h"
#include "base/system_error.h"
#include "base/utf8_system.h"

namespace talewick {

namespace {

namespace fs = std::filesystem;

LaunchLine Refuse(std::string error) {
  LaunchLine line;
  line.action = LaunchLine::Action::kRefuse;
  line.error = std::move(error);
  return line;
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

std::string Listed(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  return list;
}

// `text` as one word of a command line the user may copy: quoted when it holds
// a blank or a character that a shell reads.
std::string ShellWord(const std::string& text) {
  const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x80 || std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("._-/:\\+,=@%").find(c) != std::string_view::npos;
  });
  return plain ? text : "\"" + text + "\"";
}

// `folder` as a full path without a trailing separator, spelled with the
// system's own separators, for the service and for messages that name it.
fs::path FullPath(const std::string& folder) {
  std::error_code ec;
  fs::path path = fs::absolute(PathFromUtf8(folder), ec);
  if (ec) path = PathFromUtf8(folder);
  path = path.lexically_normal().make_preferred();
  if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
  return path;
}

}  // namespace

LaunchLine ParseLaunchLine(const std::vector<std::string>& arguments) {
  LaunchLine line;
  const Standalone standalone = StandaloneOption(arguments);
  if (standalone != Standalone::kNone) {
    line.action =
        standalone == Standalone::kHelp ? LaunchLine::Action::kHelp : LaunchLine::Action::kVersion;
    return line;
  }
  static constexpr ValueOption kOptions[] = {{"--corpus", "a folder", "a folder"},
                                             {"--site", "a site name", "a site name"}};
  std::string error =
      WalkValueOptions(arguments, kOptions, [&](std::string_view name, const std::string& value) {
        (name == "--corpus" ? line.corpus : line.site) = value;
        return std::string();
      });
  return error.empty() ? line : Refuse(std::move(error));
}

std::string LaunchHelpText() {
  return "usage: talewick-start [--corpus DIR] [--site NAME]\n"
         "\n"
         "Starts Talewick with a search service of its own: talewick-search on a free\n"
         "port of 127.0.0.1, then the Talewick window pointed at it. Type a few words\n"
         "and press Enter; closing the window stops both.\n"
         "\n"
         "  --corpus DIR   grow stories from your own texts: DIR holds one sub-folder\n"
         "                 per site, with the texts in it as UTF-8 .txt files, such as\n"
         "                 DIR/mysite.org/*.txt (default: the stories shipped with\n"
         "                 Talewick)\n"
         "  --site NAME    the site folder of DIR to search; needed only when DIR has\n"
         "                 more than one (without --corpus: the site to search)\n"
         "  --help         show this help and exit\n"
         "  --version      show the version and exit\n"
         "\n"
         "With TALEWICK_SEARCH_HOST set (a service of your own, such as\n"
         "http://127.0.0.1:8080) no service is started: Talewick searches that one, on\n"
         "the site of --site or TALEWICK_SEARCH_SITE. --corpus wins over it: with\n"
         "--corpus a service on DIR is always started, and Talewick searches that one.\n"
         "\n"
         "One Talewick runs per story folder: started again while it runs, it says\n"
         "\"Talewick is already running\" and brings the window to the front. A failure\n"
         "is shown in a message box when there is no terminal to print it on.\n";
}

std::string StartedText(const std::string& storyFolder, const std::string& site,
                        const std::string& corpus, const std::string& host) {
  std::string searched = site.empty() ? "" : " " + site;
  if (!host.empty()) {
    searched += " at " + host;
  } else {
    searched += " in " + (corpus.empty() ? "the texts shipped with Talewick" : corpus);
  }
  return "Talewick: the story goes to " + storyFolder + "OutPutTextFile.txt; searching" + searched +
         "; close the window or press Ctrl-C to stop " + (host.empty() ? "both" : "it") + ".\n";
}

SiteChoice ChooseSite(const std::string& corpus, const std::string& wanted) {
  SiteChoice choice;
  const fs::path folder = FullPath(corpus);
  choice.corpus = Utf8Of(folder);
  std::error_code ec;
  std::vector<std::string> sites;
  bool texts = false;  // .txt files of its own
  for (fs::directory_iterator entry(folder, ec), end; !ec && entry != end; entry.increment(ec)) {
    std::error_code kind;
    if (entry->is_directory(kind)) {
      sites.push_back(Utf8Of(entry->path().filename()));
    } else if (SameName(entry->path().extension().string(), ".txt")) {
      texts = true;
    }
  }
  if (ec) {
    choice.problem = "cannot read " + choice.corpus + ": " + ErrorCodeText(ec) + ".";
    return choice;
  }
  std::sort(sites.begin(), sites.end());
  const std::string example =
      Utf8Of(folder / "mysite.org" / "") + " and put your .txt files in it.";
  if (sites.empty() && texts && folder.has_parent_path() && folder != folder.parent_path()) {
    // The folder of one site's texts, given where the folder of site folders goes.
    choice.problem = choice.corpus +
                     " holds texts, not site folders; did you mean talewick-start --corpus " +
                     ShellWord(Utf8Of(folder.parent_path())) + " --site " +
                     ShellWord(Utf8Of(folder.filename())) + "?";
  } else if (!wanted.empty()) {
    const auto found = std::find_if(sites.begin(), sites.end(), [&](const std::string& site) {
      return SameName(site, wanted);
    });
    if (found != sites.end()) {
      choice.site = *found;
    } else if (sites.empty()) {
      choice.problem = choice.corpus + " has no site folder " + wanted + "; make " +
                       Utf8Of(folder / PathFromUtf8(wanted) / "") +
                       " and put your .txt files in it.";
    } else {
      choice.problem = choice.corpus + " has no site folder " + wanted +
                       "; its site folders: " + Listed(sites) + ".";
    }
  } else if (sites.size() == 1) {
    choice.site = sites.front();
  } else if (sites.empty()) {
    choice.problem = choice.corpus +
                     " has no site folder: the texts go in a sub-folder named after their "
                     "site; make " +
                     example;
  } else {
    choice.problem = choice.corpus + " has " + std::to_string(sites.size()) +
                     " site folders: " + Listed(sites) + "; choose one with --site NAME.";
  }
  return choice;
}

std::string SiteToSearch(const LaunchLine& line, const SiteChoice& chosen, bool ownService,
                         const std::string& siteVariable) {
  if (!line.corpus.empty()) return chosen.site;
  if (!line.site.empty()) return line.site;
  return ownService && siteVariable.empty() ? "talewick.org" : "";
}

}  // namespace talewick
