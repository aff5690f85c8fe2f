// The launcher's command line, its help text, and the site folder of a corpus
// that --corpus names.
#pragma once

#include <string>
#include <vector>

namespace talewick {

struct LaunchLine {
  enum class Action { kStart, kHelp, kVersion, kRefuse };
  Action action = Action::kStart;
  std::string corpus;  // as given; empty: the corpus shipped with the service
  std::string site;    // as given; empty: the corpus's only site folder
  std::string error;   // for kRefuse: the argument at fault and what is wrong with it
};

// `arguments`: the program first, then its options, all UTF-8. --help and
// --version stand alone and win over everything else on the line.
LaunchLine ParseLaunchLine(const std::vector<std::string>& arguments);

std::string LaunchHelpText();

struct SiteChoice {
  std::string corpus;   // the corpus folder as a full path, in UTF-8
  std::string site;     // the site folder's name as it stands in the corpus
  std::string problem;  // when `site` is empty: why, in sentences the user can act on
};

// The site folder of `corpus` to search: `wanted` (ASCII case ignored, as the
// service does) when given, else the only one there is.
SiteChoice ChooseSite(const std::string& corpus, const std::string& wanted);

// The one line that tells the user on a terminal what runs: where the story goes
// (the story folder `storyFolder`), the `site` searched (empty: the program's
// own choice) in `corpus` (empty: the shipped texts) or, when `host` is given,
// through the user's own service there, and how to stop.
std::string StartedText(const std::string& storyFolder, const std::string& site,
                        const std::string& corpus, const std::string& host);

// The site the program searches, for every way of starting: the site folder
// chosen in a --corpus, else --site, else (with a service of the launcher's own
// and no TALEWICK_SEARCH_SITE, `siteVariable`) the shipped corpus's site. Empty:
// the user's TALEWICK_SEARCH_SITE stays as it is.
std::string SiteToSearch(const LaunchLine& line, const SiteChoice& chosen, bool ownService,
                         const std::string& siteVariable);

}  // namespace talewick
