// Event handlers run guarded: an error a handler raises is shown by the
// application's error display and the program goes on. It is caught here,
// at the handler, because unwinding through the toolkit's own frames would
// skip their clean-up; TApplication::notify is the net for anything else.
#pragma once

#include <exception>
#include <utility>

// Shows the error with the application's error display (standard error without one).
void ShowEscapedError(const std::exception& error);

template <class Handler>
void Guarded(Handler&& handler) {
  try {
    std::forward<Handler>(handler)();
  } catch (const std::exception& error) {
    ShowEscapedError(error);
  }
}

// For handlers with a result: `failed` when the handler raised an error.
template <class Result, class Handler>
Result Guarded(Handler&& handler, Result failed) {
  try {
    return std::forward<Handler>(handler)();
  } catch (const std::exception& error) {
    ShowEscapedError(error);
    return failed;
  }
}
