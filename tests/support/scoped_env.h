// An environment variable set, or removed, for the life of the object; the previous value, or
// its absence, comes back when the object goes. Not for threads: the environment is the process's.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace clipsmith::testing {

class ScopedEnv {
 public:
  // value nullopt removes the variable.
  ScopedEnv(std::string name, std::optional<std::string> value) : FName(std::move(name)) {
    if (const char* old = ::getenv(FName.c_str())) FOld = old;
    Apply(value);
  }
  ~ScopedEnv() { Apply(FOld); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Apply(const std::optional<std::string>& value) const {
    if (value)
      ::setenv(FName.c_str(), value->c_str(), 1);
    else
      ::unsetenv(FName.c_str());
  }

  std::string FName;
  std::optional<std::string> FOld;
};

}  // namespace clipsmith::testing
