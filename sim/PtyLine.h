// The simulator's end of the line: a pseudo-terminal master. The simulator
// keeps a slave descriptor open itself, so the master never sees a hang-up
// when the tool closes and reopens the port.
#pragma once

#include <string>

class PtyLine {
public:
  PtyLine();  // throws std::system_error
  ~PtyLine();
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  int MasterFd() const { return master_; }
  // The simulator's own slave descriptor: the line settings the tool set are read through it.
  int SlaveFd() const { return slave_; }
  const std::string& SlavePath() const { return slavePath_; }

private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};
