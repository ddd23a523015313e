// Starts a test from an empty world: no entities, no rules, no pick result.
#pragma once

#include <gtest/gtest.h>

void ResetEngine();

// A fixture for tests that build scenes: an empty world before and after each test,
// and fatal errors thrown as FatalError instead of ending the process.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};
