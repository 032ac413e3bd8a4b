#pragma once
// Texts from outside (file names, settings, request fields and headers)
// made safe for the place the site puts them.  HTML pages use the
// formatter's %H; playlists and feeds use these.
#include "base/stringlong.h"

// XML text or attribute value: & < > " ' as entities; the control
// characters that XML does not allow (all below 32 but tab, LF and CR)
// become spaces, so a feed or playlist stays well-formed whatever the name.
// Replaces out's content; returns out.c_str().
const char* LSiteXMLEncode(LStringLongTemplate& out, const char* text);

// Text for one line of a plain-text playlist or of the log: every control
// character (line ends included) becomes a space, so the text cannot start
// a line of its own.  Into out (260 bytes, cut at 259); returns out.
char* LSiteLineText(char* out, const char* text);

// JSON string contents (without the quotes): " and \ escaped, control
// characters as \u00XX.  Replaces out's content; returns out.c_str().
const char* LSiteJSONEncode(LStringLongTemplate& out, const char* text);

// A Prometheus label value (without the quotes): \, " and line feed
// escaped, other control characters as spaces.  Replaces out's content;
// returns out.c_str().
const char* LSiteMetricLabelEncode(LStringLongTemplate& out, const char* text);
