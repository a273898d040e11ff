// Base fixture of the suites over JACK: one private server per suite (per process under ctest,
// which runs each case on its own), started before the first case and stopped after the last.
#pragma once

#include "JackTestServer.h"

#include <gtest/gtest.h>

class MidiJackTest : public ::testing::Test
{
protected:
  static JackTestServer& server()
  {
    static JackTestServer s;
    return s;
  }
  static void SetUpTestSuite() { server().start(); }
  static void TearDownTestSuite() { server().stop(); }
  void SetUp() override { ASSERT_TRUE(server().running()) << "private JACK server did not start"; }
};
