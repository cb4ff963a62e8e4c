// A batch line split into words as a shell would, without expansions:
// blanks separate words; '...' keeps everything literally; "..." keeps
// blanks, with \" and \\ as escapes; a backslash outside quotes takes the
// next character literally; a word beginning with # starts a comment.
#pragma once

#include <optional>
#include <string>
#include <vector>

// nullopt with a reason for an unclosed quote or a trailing backslash.
std::optional<std::vector<std::string>> SplitShellWords(const std::string& line,
                                                        std::string& error);
