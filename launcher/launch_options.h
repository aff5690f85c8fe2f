// The launcher's command line, its help text, and the site folder of a corpus
// that --corpus names.
#pragma once

#include <string>
#include <vector>

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
  std::string problem;  // when `site` is empty: why, in words the user can act on
};

// The site folder of `corpus` to search: `wanted` (ASCII case ignored, as the
// service does) when given, else the only one there is.
SiteChoice ChooseSite(const std::string& corpus, const std::string& wanted);
