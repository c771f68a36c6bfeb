// A picture from a clip, decoded with GStreamer the way the player's media backend
// decodes it (playbin converting to 32-bit BGRx), for the gallery cells `new` makes
// and the video area of `preview`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ClipFrame {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> bgrx;  // width * height pixels of B, G, R, X bytes, top row first
};

// A picture about a tenth of the way into the clip at path (UTF-8), as thumbnailers
// take one (so that a fade from black shows its picture), or a third or half of the way
// when that one is black; the first picture of a clip whose length is unknown. With
// fitWidth and fitHeight 0 it has the decoded size, as the player's video gets it;
// otherwise it is scaled into fitWidth x fitHeight keeping the picture's display
// aspect (pixel aspect included), with black bars. False with *why when GStreamer gives
// no picture in time.
bool grabClipFrame(const char* path, int32_t fitWidth, int32_t fitHeight, ClipFrame* frame, std::string* why);
