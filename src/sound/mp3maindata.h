#pragma once

// The bit reservoir: a frame's main data may begin in the main data of earlier frames
// (main_data_begin bytes back), so the bytes of recent frames are kept here.
struct MP3MainData {
  static constexpr int kSize = 2048;

  unsigned short held = 0;    // bytes in the buffer
  unsigned short bitPos = 0;  // where the current frame's main data starts, in bits
  // 4 zero bytes beyond the held ones let the bit reader load whole words near the end.
  unsigned char buffer[kSize + 4] = {};

  void Clear()
  {
    held = 0;
    bitPos = 0;
  }

  // Keeps the last min(mainDataBegin, held) bytes, moves them to the front and appends `length`
  // bytes of the new frame. Returns false when fewer bytes were held than mainDataBegin asks for: the
  // frame cannot be decoded, but its bytes stay for the frames that follow.
  bool Load(int mainDataBegin, const unsigned char* data, int length);
};
