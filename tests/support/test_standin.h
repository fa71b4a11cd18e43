#pragma once
// The stand-in service started in-process on free ports with the tests' fixture.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "standin/standin.h"

namespace sucaigang::testing {

// Use as ASSERT_NO_FATAL_FAILURE(StartTestStandin(service_)).
inline void StartTestStandin(std::unique_ptr<standin::Service>& service) {
  standin::Fixture fixture;
  std::string error;
  ASSERT_TRUE(standin::LoadFixture(SUCAIGANG_STANDIN_FIXTURES "/test.json", fixture, error))
      << error;
  service = standin::Service::Start(std::move(fixture), {.freePorts = true}, error);
  ASSERT_TRUE(service) << error;
}

}  // namespace sucaigang::testing
