// Set-up of the fresh-program fixture (see fresh_story.h).
#include "support/fresh_story.h"

void FreshStoryTest::SetUp() {
  ClearStoryState();
  ResetScriptedWindow();
  StartUp();
  for (const char* name : {"dictionary.txt", "googleblog.htm", "OutPutTextFile.txt"}) {
    RemoveProgramFile(name);
  }
  StartDebugCapture();
}
