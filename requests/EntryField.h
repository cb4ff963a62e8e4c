// What the entry checks need of an entry control: its text and its
// background colour. The main window's edit boxes implement it; tests use a
// plain object.
#pragma once

#include <cstdint>
#include <string>

class EntryField {
public:
  virtual ~EntryField() = default;
  virtual std::string Text() const = 0;
  virtual void SetText(const std::string& text) = 0;
  virtual void SetBackground(uint8_t red, uint8_t green, uint8_t blue) = 0;
};
