// Set-up of the fresh-program fixtures (see fresh_story.h).
#include "support/fresh_story.h"

#include "support/test_environment.h"

using namespace talewick;

void FreshStoryTest::SetUp() {
  ClearStoryState();
  ResetScriptedWindow();
  StartUp();
  RemoveDataFiles();
  StartDebugCapture();
}

void ServedStoryTest::SetUp() {
  SetTestEnvironment("TALEWICK_SEARCH_HOST", server_.BaseUrl());
  SetTestEnvironment("TALEWICK_SEARCH_SITE", kSite);
  RemoveDataFiles();
  ResetScriptedWindow();
  StartDebugCapture();
  StartUp();  // with the environment above, and logged
}

void ServedStoryTest::TearDown() {
  ShutDown();
  RemoveDataFiles();
}

Lines AcceptedWords() {
  Lines words;
  for (int slot = 1; slot < Story.WordCount; ++slot) words.emplace_back(Story.InputWords[slot]);
  return words;
}
