// A failure that reaches the host as a failed method call with an error
// number and a description (VB's Err.Number and Err.Description).
#pragma once
#include <cstdint>

#include "bridge/text.h"

namespace bridge {

struct AutomationError {
  int32_t number;
  wtext description;
};

}  // namespace bridge
