#pragma once
// A table of cases gives one gtest case per row, named after the row's `name`.

#include <gtest/gtest.h>

#include <string>

struct ByRowName {
  template <class Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
    return std::string(info.param.name);
  }
};
