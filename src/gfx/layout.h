// Where things are: the hit rectangles of both screens (right and bottom name the
// last pixel inside) and the atlas regions they are drawn from (right and bottom
// exclusive). Drawing and interaction use the same rectangles.
#pragma once

#include "platform/platform.h"

// --- Main screen ------------------------------------------------------------------
// The video window, as the graph places it (left, top, width, height).
const LONG kVideoLeft = 80;
const LONG kVideoTop = 16;
const LONG kVideoWidth = 640;
const LONG kVideoHeight = 480;
const RECT kSeekBarRect = {38, 535, 384, 554};
const RECT kVolumeBarRect = {38, 567, 384, 586};
const RECT kPreviousRect = {456, 535, 513, 579};
const RECT kStopRect = {514, 535, 571, 579};
const RECT kPlayRect = {572, 535, 629, 579};
const RECT kNextRect = {630, 535, 687, 579};
const RECT kThumbnailButtonRect = {714, 535, 771, 579};
const int kClipButtonCount = 4;
const RECT kClipButtonRects[kClipButtonCount] = {
    {749, 55, 781, 95}, {749, 130, 781, 170}, {749, 205, 781, 245}, {749, 280, 781, 320}};

// The bars: a cursor column maps to a fraction of the span from the origin.
const int kSliderOrigin = 44;
const int kSliderSpan = 335;
const int kQuietestVolume = -5000;
const int kVolumeStep = -kQuietestVolume / 20;  // Up and Down
// The knobs' left edge runs from 35 to 370; they stand on these rows.
const int kKnobLeft = 35;
const float kSeekKnobY = 534.0f;
const float kVolumeKnobY = 566.0f;

// Regions of the main atlas (Bmp/MainBG.bmp).
const RECT kMainBackground = {0, 0, 800, 600};
const RECT kPreviousNormal = {0, 600, 58, 645};
const RECT kStopNormal = {58, 600, 116, 645};
const RECT kPlayNormal = {116, 600, 174, 645};
const RECT kNextNormal = {174, 600, 232, 645};
const RECT kThumbnailButtonNormal = {232, 600, 290, 645};
const RECT kPreviousHighlighted = {290, 600, 348, 645};
const RECT kStopHighlighted = {348, 600, 406, 645};
const RECT kPlayHighlighted = {406, 600, 464, 645};
const RECT kNextHighlighted = {464, 600, 522, 645};
const RECT kThumbnailButtonHighlighted = {522, 600, 580, 645};
const RECT kStopInactive = {580, 600, 638, 645};
const RECT kPlayInactive = {638, 600, 696, 645};
const RECT kClipButtonNormal = {0, 645, 33, 686};
const RECT kClipButtonHighlighted = {33, 645, 66, 686};
const RECT kClipButtonCurrent = {66, 645, 99, 686};
const RECT kKnobNormal = {99, 645, 118, 661};
const RECT kKnobDragged = {99, 661, 118, 677};

// --- Thumbnail screen ----------------------------------------------------------------
const RECT kPageButtonRect = {721, 24, 778, 68};
const RECT kBackButtonRect = {714, 535, 771, 579};
const int kGalleryRows = 4;
const int kGalleryColumns = 7;
const int kCellsPerPage = kGalleryRows * kGalleryColumns;
const int kGalleryPages = 2;
const int kGallerySlots = kGalleryPages * kCellsPerPage;  // the thumbnail slots a page shows
const int kCellWidth = 100;
const int kCellHeight = 75;
const int kCellLeft = 29;
const int kCellTop = 91;
const int kCellStepX = 107;
const int kCellStepY = 108;

// Regions of the thumbnail atlas (Bmp/Thumbnail.bmp); thumbnails are 100 x 75 at
// (100 c, 75 r + 300 p).
const int kAtlasPageHeight = 300;
const RECT kLockImage = {0, 600, 100, 675};
const RECT kPageButtonNormal[2] = {{112, 600, 170, 645}, {170, 600, 228, 645}};
const RECT kBackButtonNormal = {228, 600, 286, 645};
const RECT kPageButtonHighlighted[2] = {{286, 600, 344, 645}, {344, 600, 402, 645}};
const RECT kBackButtonHighlighted = {402, 600, 460, 645};

// The hit rectangle of the cell in row r, column c (the same on both pages).
inline RECT cellRect(int Row, int Column) {
    LONG Left = kCellLeft + kCellStepX * Column;
    LONG Top = kCellTop + kCellStepY * Row;
    RECT Rect = {Left, Top, Left + kCellWidth - 1, Top + kCellHeight - 1};
    return Rect;
}
