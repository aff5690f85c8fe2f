// Grows a story without a window: the real cycle, with the scripted window layer,
// against a search service. Prints the story file, one chosen continuation a line,
// so that scripts/story_length.py can tell how long a story runs before it repeats.
//
//   story_run HOST SITE WORD_LIST SEED CYCLES
//
// The program's files live beside this executable, as they do beside talewick;
// the word list is copied there first. Debug lines go to standard error.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "app/startup.h"
#include "core/story_state.h"
#include "window/scripted/scripted_window.h"
#include "window/window_layer.h"

using namespace talewick;

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: story_run HOST SITE WORD_LIST SEED CYCLES\n");
    return 2;
  }
  setenv("TALEWICK_SEARCH_HOST", argv[1], 1);
  setenv("TALEWICK_SEARCH_SITE", argv[2], 1);
  const long cycles = std::strtol(argv[5], nullptr, 10);

  namespace fs = std::filesystem;
  const std::string folder = StartFolder();
  fs::copy_file(argv[3], folder + "dictionary.txt", fs::copy_options::overwrite_existing);
  fs::remove(folder + "OutPutTextFile.txt");

  ResetScriptedWindow();
  StartUp();
  TypeInto(kInputBox, std::string(argv[4]) + "\r");  // Enter in the box: GO
  for (long cycle = 1; cycle < cycles && Scripted().timerArmed; ++cycle) {
    QueueTimerTick();  // a failed download leaves the timer off: the story ends
    PumpEvents(0);
  }
  ShutDown();
  std::ifstream story(folder + "OutPutTextFile.txt", std::ios::binary);
  std::cout << story.rdbuf();
  return 0;
}
