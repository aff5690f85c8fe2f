// Fixtures that start every test from a freshly started program: a cleared state
// record, a new scripted window, none of the three data files, and an empty
// debug capture. ServedStoryTest also points the program's searches at a local
// server, captures its start-up line, and shuts it down after the test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/startup.h"
#include "core/story_state.h"
#include "support/debug_capture.h"
#include "support/local_http_server.h"
#include "support/program_files.h"
#include "window/scripted/scripted_window.h"
#include "window/window_layer.h"

using Lines = std::vector<std::string>;

class FreshStoryTest : public ::testing::Test {
 protected:
  void SetUp() override;
};

class ServedStoryTest : public ::testing::Test {
 protected:
  // The site that the program's searches name.
  static constexpr const char* kSite = "example.org";
  void SetUp() override;
  void TearDown() override;

  LocalHttpServer server_;
};

// The words the last DisectInput accepted: the word table from slot 1.
Lines AcceptedWords();
