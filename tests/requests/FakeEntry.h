// An entry without a window: its text and every background colour it was given.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "EntryField.h"

class FakeEntry : public EntryField {
public:
  explicit FakeEntry(std::string text = "0") : text_(std::move(text)) {}
  std::string Text() const override { return text_; }
  void SetText(const std::string& text) override { text_ = text; }
  void SetBackground(uint8_t r, uint8_t g, uint8_t b) override { colours.push_back({r, g, b}); }

  std::vector<std::array<uint8_t, 3>> colours;

private:
  std::string text_;
};
