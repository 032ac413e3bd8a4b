#pragma once

// For a seekable Ogg file: true when its last complete, intact page ends
// a logical stream.  A file cut short ends without that page, and
// libvorbisfile would decode what is left as if nothing were missing.
// Always true for input that cannot be seeked, which cannot be checked.
bool OggFileEndsWithStreamEnd(int fd);
