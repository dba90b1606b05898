// The two rectangle copies the game draws with. A negative destination width or height, with the
// origin on the far edge, mirrors the copy into the same rectangle. Copies are clipped to the
// destination; source pixels beyond the source's image read as the source's background colour.
// A stretched copy takes the nearest source pixel for each destination pixel.
#pragma once

#include "Surface.h"
#include "basic.h"

constexpr Long SRCCOPY = 0x00CC0020;

Long StretchBlt(HDC hDestDC, Long x, Long y, Long nWidth, Long nHeight, HDC hSrcDC, Long xSrc, Long ySrc,
    Long nSrcWidth, Long nSrcHeight, Long dwRop);
Long BitBlt(
    HDC hDestDC, Long x, Long y, Long nWidth, Long nHeight, HDC hSrcDC, Long xSrc, Long ySrc, Long dwRop);
