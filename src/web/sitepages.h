#pragma once
// The site's page handlers.  Each runs on its request's connection thread,
// reads the settings store afresh and writes its whole response, status
// line first.  Links and playlist entries are absolute and use the
// request's Host header.
#include "web/webletform.h"

// "/": the information page listing every live input and recording with
// its stream, download and podcast links.
void VLWMain(LWebletForm& form);
// "velorin.m3u": a one-entry playlist for src and kbps; ASX with a banner
// when the User-Agent contains "Windows", else M3U.
void VLWStream(LWebletForm& form);
// "velorin.rss": the podcast feed of one recording (src "f" + name);
// nothing for a live input.
void VLWRSS(LWebletForm& form);
// "velorin.mp3": a recording's MP3 file, or a live input's stream, which
// runs until the listener leaves or the server stops.
void VLWAudio(LWebletForm& form);
// "asxbanner.jpg": the banner image shown by ASX players.
void VLWASXBanner(LWebletForm& form);

// "listen": one page with an audio player for every live input and
// recording at both rates, and links to their playlists and feeds.
void VLWListen(LWebletForm& form);
// "status.json" and "metrics": the server's listener and download figures
// as JSON and in the Prometheus text format; answered to the server's own
// machine only, unless WebAccess/PublicStatus is set (else as a missing
// file).
void VLWStatusJSON(LWebletForm& form);
void VLWMetrics(LWebletForm& form);
