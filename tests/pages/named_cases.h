// Table-driven tests name every case: a case derives from NamedCase, and the name
// stands in the test's name (CaseName) and wherever the parameter is printed.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

struct NamedCase {
  const char* name;
  friend std::ostream& operator<<(std::ostream& out, const NamedCase& c) { return out << c.name; }
};

struct CaseName {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return info.param.name;
  }
};
