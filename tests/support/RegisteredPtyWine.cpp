#include "RegisteredPty.h"

// The line host links the terminal as COM<n> too, for the life of the line.
struct RegisteredPty::Registration {};

RegisteredPty::RegisteredPty(int number) : number_(number) {
  pty.AskHost("link " + std::to_string(number));
  pty.ReleaseSlave();  // only the port under test holds the slave
}

RegisteredPty::~RegisteredPty() = default;
