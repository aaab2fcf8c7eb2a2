// The message of the exception of type E that f raises, or "" when it raises none.
#pragma once

#include <functional>
#include <string>

#include "gif/gif_types.h"

namespace clipsmith::testing {

template <class E = GIFException>
std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "";
}

}  // namespace clipsmith::testing
