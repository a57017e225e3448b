// A failure that reaches the host as a failed method call with an error
// number and a description (VB's Err.Number and Err.Description).
#pragma once
#include <cstdint>

#include "base/text.h"

namespace bridge {

using base::atext;
using base::wtext;
using base::widen;

struct AutomationError {
  int32_t number;
  wtext description;
};

}  // namespace bridge
