// How modbus-cli prints an entry-mode click: one JSON object (with "line"
// in a batch), or the same for a reader.
#pragma once

#include <optional>
#include <string>

#include "EntrySession.h"

std::string FormatEntryJson(const ClickOutcome& outcome, std::optional<int> line = std::nullopt);
std::string FormatEntryText(const ClickOutcome& outcome);

// The names used for a box's icon, buttons and answer: "warning", "yes-no", "no".
const char* IconName(MsgIcon icon);
const char* ButtonsName(MsgButtons buttons);
const char* AnswerName(MsgResult answer);
