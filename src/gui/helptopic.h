#pragma once
// Opens a topic of the product's manual ("general", "live", ...): the page
// "<topic>.html" in the program's help folder, in the desktop's default
// viewer (xdg-open, not waited for).  False when it could not be started.
bool LOpenHelpTopic(const char* topic);
