// The error the pattern engine raises for internal failures (memory,
// malformed programs, misuse). Compile errors are codes, not this.
#pragma once

#include <exception>

#include "platform/seam.h"

namespace pattern {

class PatternFailure : public std::exception {
 public:
  explicit PatternFailure(HRESULT status) : status_(status) {}
  HRESULT status() const noexcept { return status_; }
  const char* what() const noexcept override { return "pattern engine failure"; }

 private:
  HRESULT status_;
};

}  // namespace pattern
