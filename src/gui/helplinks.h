#pragma once

class LWindow;

// The Help menu: its items in order, each a command id and a plain address
// under the maker's site (the about box has none).
struct LHelpLink {
  const char* label;
  int command;
  const char* address;
};

extern const LHelpLink kHelpLinks[6];

// Runs a Help menu command; false for an id that is not one.
bool LRunHelpCommand(int command, LWindow* parent);
