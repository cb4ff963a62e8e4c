// The local time of day of a moment, safe on any thread: the C library's
// reentrant call differs by system (one file per system).
#pragma once

#include <ctime>

std::tm LocalTime(std::time_t seconds);
