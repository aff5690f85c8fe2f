// A test fixture that starts every test from a freshly started program: a cleared
// state record, a new scripted window, none of the three data files, and an empty
// debug capture.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/startup.h"
#include "core/story_state.h"
#include "support/debug_capture.h"
#include "support/program_files.h"
#include "window/scripted/scripted_window.h"
#include "window/window_layer.h"

using Lines = std::vector<std::string>;

class FreshStoryTest : public ::testing::Test {
 protected:
  void SetUp() override;
};
