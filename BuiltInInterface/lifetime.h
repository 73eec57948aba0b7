#pragma once

#include <memory>

namespace built_in {

// Lets a reply that arrives after its panel is gone find that out: the panel owns a
// Lifetime, and callbacks hold a Lifetime::Watch and ask it before touching the panel.
class Lifetime {
 public:
  using Watch = std::weak_ptr<const char>;

  Lifetime() : token_(std::make_shared<const char>('\0')) {}
  Lifetime(const Lifetime&) = delete;
  Lifetime& operator=(const Lifetime&) = delete;

  Watch watch() const { return token_; }
  static bool alive(const Watch& watch) { return !watch.expired(); }

 private:
  std::shared_ptr<const char> token_;
};

}  // namespace built_in
