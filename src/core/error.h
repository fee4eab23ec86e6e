// The error of the module's own rules. Operations return it as a value; the
// module boundary raises it as ValueError with the message alone.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "place.h"

namespace corbyl {

struct TabulationError {
  std::string message;
  Place place;  // where it happened, when known
  const std::string& display() const { return message; }
};

// A result of an operation of the tabulation or the line generation.
template <typename T>
class Outcome {
 public:
  Outcome(T value) : v_(std::move(value)) {}
  Outcome(TabulationError error) : v_(std::move(error)) {}
  bool ok() const { return v_.index() == 0; }
  T& value() { return std::get<0>(v_); }
  const TabulationError& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, TabulationError> v_;
};

inline TabulationError error_text(std::string_view message, Place place = {}) {
  return TabulationError{std::string(message), place};
}

}  // namespace corbyl
