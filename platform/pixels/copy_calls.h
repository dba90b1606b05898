// The two rectangle copies the game draws with. A negative destination width or height, with the
// origin on the far edge, mirrors the copy into the same rectangle. Copies are clipped to the
// destination; source pixels beyond the source's image read as the source's background colour.
// A stretched copy takes the nearest source pixel for each destination pixel.
#pragma once

#include "Surface.h"
#include "arithmetic.h"

constexpr Int32 SRCCOPY = 0x00CC0020;

Int32 StretchBlt(HDC hDestDC, Int32 x, Int32 y, Int32 nWidth, Int32 nHeight, HDC hSrcDC, Int32 xSrc,
    Int32 ySrc, Int32 nSrcWidth, Int32 nSrcHeight, Int32 dwRop);
Int32 BitBlt(HDC hDestDC, Int32 x, Int32 y, Int32 nWidth, Int32 nHeight, HDC hSrcDC, Int32 xSrc, Int32 ySrc,
    Int32 dwRop);
