#pragma once
// The message of the potencor::Error an action throws, or "<no error>".
#include "core/error.h"

#include <functional>
#include <string>

namespace potencor::test {

inline std::string errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "<no error>";
}

} // namespace potencor::test
