// The text of a record field: a price, a percentage, a description, a name.
//
// A text read from the caller is a view of the caller's characters. Its
// reader keeps them alive for the whole call, so they are neither copied nor
// owned here, and it may leave an opaque handle of the object they came from
// (`source`): a text taken over unchanged into a result is then given back
// as that same object. A text the core makes (a printed number) owns its
// characters; a literal is a view of static storage. Copies and moves keep
// either kind intact, and equality looks only at the characters.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "compiler.h"

namespace corbyl {

class Text {
 public:
  Text() = default;
  // A text of its own characters (a copy).
  Text(const std::string& chars) { own(chars); }  // NOLINT: implicit, like a string
  Text(const char* chars) { own(chars); }         // NOLINT: implicit, like a string

  // A literal (static storage).
  static Text literal(std::string_view chars) {
    Text t;
    t.view_ = chars;
    return t;
  }

  Text(const Text& other) : view_(other.view_), source_(other.source_) {
    if (other.own_) own(other.view_);
  }
  Text& operator=(const Text& other) {
    if (this != &other) *this = Text(other);
    return *this;
  }
  Text(Text&&) noexcept = default;  // the owned characters stay where they are
  Text& operator=(Text&&) noexcept = default;

  // Makes this text a view of characters kept alive elsewhere for as long
  // as the text is used, with the reader's handle of where they came from.
  void set_view(std::string_view chars, const void* source) {
    if (own_) [[unlikely]] drop_owned();
    view_ = chars;
    source_ = source;
  }

  std::string_view str() const { return view_; }
  operator std::string_view() const { return view_; }  // NOLINT: a text reads as its characters
  bool empty() const { return view_.empty(); }

  // The handle its reader left, or nullptr for a text the core made.
  const void* source() const { return source_; }

  friend bool operator==(const Text& a, const Text& b) { return a.view_ == b.view_; }
  friend bool operator==(const Text& a, std::string_view b) { return a.view_ == b; }
  friend bool operator==(const Text& a, const char* b) { return a.view_ == b; }

 private:
  // (out of line, so that reading a text into a fresh record stays a leaf)
  CORBYL_COLD void drop_owned() { own_.reset(); }

  void own(std::string_view chars) {
    source_ = nullptr;
    if (chars.empty()) {
      own_.reset();
      view_ = {};
      return;
    }
    own_.reset(new char[chars.size()]);
    std::memcpy(own_.get(), chars.data(), chars.size());
    view_ = std::string_view(own_.get(), chars.size());
  }

  std::string_view view_;           // the characters, wherever they are
  const void* source_ = nullptr;    // the reader's handle of a view
  std::unique_ptr<char[]> own_;     // the characters of an owned text
};

}  // namespace corbyl
