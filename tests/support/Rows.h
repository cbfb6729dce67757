#pragma once

#include <gtest/gtest.h>

#include <string>

// A table of cases played on Fixture, one case a row.
template <typename Fixture, typename Row> struct Rows : Fixture, ::testing::WithParamInterface<Row>
{
};

// Names each case after its row's name.
inline constexpr auto rowName = [](const auto &info) { return std::string(info.param.name); };
