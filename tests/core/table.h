#pragma once
// Table-driven tests: every row carries a name, which becomes the test's name.
#include <gtest/gtest.h>

#include <string>

namespace potencor::test {

struct RowName {
    template <class Row>
    std::string operator()(const testing::TestParamInfo<Row>& info) const
    {
        return info.param.name;
    }
};

} // namespace potencor::test
