#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "connectivity/core/Ado.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

namespace testsupport {

// A run against the project's TDS endpoint serving one catalogue (login password "pw"), into a fresh
// embedded Firebird database; Target() opens that database for the checks.
class EndpointFixture : public ::testing::Test {
 protected:
  explicit EndpointFixture(const char* catalog) : catalog_(catalog) {}
  void SetUp() override {
    endpoint = std::make_unique<TdsEndpoint>(dir, catalog_);
    host.sql = endpoint->Login("pw");
    host.fb = NewFirebirdDatabase(dir);
  }
  ado::Connection& Target() {
    if (!fb.IsOpen()) fb.Open(FireBird::ConnectionString(host.fb));
    return fb;
  }

  TempDir dir;
  std::unique_ptr<TdsEndpoint> endpoint;
  HeadlessHost host;
  ado::Connection fb;

 private:
  const char* catalog_;
};

}  // namespace testsupport
