// The raster layer: the graphics device interface that the picture framework, the codecs and the
// window draw through, with the platform's names, argument orders, structures and constants.
//
// Every call is safe against bad handles: a handle that was never issued, has been deleted, or
// names an object of another kind makes the call fail with its documented failure value and sets
// the thread's last error (ERROR_INVALID_HANDLE); nothing is ever dereferenced through it.
//
// Pixel rules chosen where the platform's documentation leaves them open:
// - Colour conversion during a transfer: the source (and the brush) are first turned into the
//   destination's pixel format, then the ternary raster operation is applied bitwise to the pixel
//   values. An indexed destination takes the nearest entry (least squared RGB distance, lowest
//   index on ties) of its colour table; a device-dependent bitmap on a palette screen takes the
//   nearest entry of the system palette.
// - Monochrome means a 1-bit device-dependent bitmap (CreateBitmap with 1 plane and 1 bit, or a
//   compatible bitmap of a 1-bit screen). Colour to monochrome: a source pixel equal to the source
//   context's background colour (converted to the source's format) becomes 1, every other pixel 0.
//   Monochrome to colour: 1 becomes the destination's background colour, 0 its text colour.
//   A 1-bit DIB section is an indexed bitmap with its own two-entry colour table and converts
//   through that table like any other DIB. Where there is no source context (StretchDIBits, a
//   colour pattern brush) and for solid and hatch brush colours, a colour goes to monochrome as
//   the nearer of black and white, as SetDIBits does.
// - Direct-colour channels narrower than 8 bits widen by repeating their bits (5-bit 31 is 255)
//   and narrow by dropping low bits, so every narrow value survives a trip through 8 bits.
// - The null brush paints nothing: pixels whose raster operation uses the pattern keep their value.
// - Stretching maps destination pixel d (0-based within the destination extent) to the source box
//   [floor(d * sw / dw), max(that + 1, floor((d + 1) * sw / dw))). COLORONCOLOR takes the box's
//   centre pixel floor((2d + 1) * sw / (2 dw)); BLACKONWHITE and WHITEONBLACK combine every pixel
//   of the box with AND and OR on the source's pixel values; HALFTONE averages the box's colours
//   and takes the nearest destination colour (no dither pattern). Growing replicates pixels in
//   every mode: COLORONCOLOR still takes the centre pixel, the others their one-pixel box, so
//   for uneven factors the two may place a repeated column one pixel apart.
// - A blit's negative extent (BitBlt, StretchBlt, MaskBlt, StretchDIBits, in device space after
//   the transforms and before a layout's mirror, destination and source alike) counts from the
//   pixel at its start: it covers x + width + 1 … x, as measured on the platform (StretchBlt(d, 5,
//   0, −4, 1, …) writes columns 2 … 5). The image is mirrored when the signs of the destination
//   and source extents differ; with both negative it is not mirrored and both rectangles still
//   count from their start pixels (measured: BitBlt(d, 6, 0, −4, 1, s, 6, 0) copies columns 3 … 6
//   to 3 … 6). PatBlt and FillRect, which have no image, keep the edge rule: x + width … x − 1.
// - Pixels whose source position falls outside the source bitmap are left unchanged (a box that
//   is partly outside combines only its pixels inside); the destination is clipped to its
//   bitmap. Rectangles exclude their right and bottom edges.
// - StretchDIBits and SetDIBits count source rows of a bottom-up image from its bottom row, as
//   the platform documents for device-independent bitmaps. StretchDIBits does so for top-down
//   images too (sy = 1, sh = 2 of an 8-row top-down image are its rows 5 and 6 from the top),
//   except that a source rectangle starting at sy = 0 of a top-down image starts at its top row,
//   as measured. It returns the image's height in scan lines, whatever part is drawn.
// - StretchDIBits and SetDIBitsToDevice draw BI_RLE8 and BI_RLE4 bits: pixels the stream skips
//   (end of line, delta, end of bitmap) leave the destination unchanged, as measured; a shrunk
//   box counts as reached by its first pixel. Only the part of the image the source rectangle
//   reaches is decoded, under the storage cap.
// - SetDIBitsToDevice: ySrc is the lower-left corner counted from the bottom for either row
//   order; the bits hold scan lines [start, start + lines), numbered from the bottom (a top-down
//   block's first row is its highest scan line). Lines beyond the image (from start on) or beyond
//   a stated biSizeImage are cut to those present. A bottom-up image returns the scans from start
//   up to the top of the source rectangle, a top-down one the lines it was given; a compressed
//   image is always whole. The corner goes through the transforms; the image is never stretched.
// - AlphaBlend and TransparentBlt stretch by the centre pixel whatever the stretch mode. Neither
//   mirrors: a negative extent fails (ERROR_INVALID_PARAMETER), as do, for AlphaBlend, a source
//   rectangle not wholly inside its surface, overlapping rectangles of one surface and
//   AC_SRC_ALPHA with a source that is not 32 bits. Blending as measured, 8-bit channels:
//   constant alpha a gives (s·a + d·(255 − a) + 127) / 255 for each of red, green, blue and the
//   alpha byte; AC_SRC_ALPHA gives scale(s, a) + scale(d, 255 − scale(sA, a)) with scale(v, a) =
//   (v·a + 127) / 255, saturating at 255 where the source was not premultiplied. A surface
//   without an alpha byte (16, 24 bits, indexed) blends colours only; a source without one has
//   alpha 0. TransparentBlt compares the source's colour bits with the key's nearest source value
//   and copies every other pixel converted as BitBlt would (a 32-bit alpha byte comes along).
// - GradientFill: 16-bit channels interpolated exactly and floored, then their high bytes taken
//   (no dithering; indexed surfaces take the nearest colour). A rectangle's pixel (x, y) takes
//   c0 + (c1 − c0)·(x − left) / (right − left) (or along y), the colour at each edge being that of
//   the vertex on it; triangles cover the pixels whose points (x, y) lie inside by the polygon
//   rule ((0,0), (10,0), (0,10) covers 55) and interpolate at that point. The Alpha member is not
//   used. Under a rotating transform a rectangle is two triangles. Counts above 2^24, indices out
//   of range and unknown modes fail (ERROR_INVALID_PARAMETER) before anything is drawn. The
//   raster operation of SetROP2 does not apply.
// - ExtFloodFill compares pixel values' colour bits with the colour's nearest value, finds the
//   whole 4-connected area inside the clip first and then paints it with the selected brush
//   through the SetROP2 operation (as measured); it fails when the start point is outside the
//   clip or is not fillable.
// - DIB pattern brushes keep a copy of the packed DIB (uncompressed only, at most 64 MiB of
//   pixels, header checked first since the block has no stated size) and paint from its own
//   colour table: a 1-bit DIB pattern does not take the text and background colours.
//   DIB_PAL_COLORS indices resolve against the palette of the context that paints. GetObject
//   gives BS_DIBPATTERN, the usage in lbColor and the caller's pointer in lbHatch.
// - GetNearestColor answers the colour the surface stores for a colour: nearest table entry,
//   or the narrowed channels of a 16-bit surface widened again.
// - Hatch brushes are 8 × 8 patterns aligned to the brush origin: horizontal lines on row 0,
//   vertical on column 0, forward diagonals where x = y, backward diagonals where x + y = 7.
//   The hatch lines take the brush colour; the gaps take the background colour in OPAQUE mode
//   and are left alone in TRANSPARENT mode.
// - GetDeviceCaps of a memory context answers for the device it is compatible with (the
//   screen), not for the bitmap selected into it. HORZSIZE and VERTSIZE come from the modelled
//   resolution and LOGPIXELS (1920 × 1080 at 96 dpi: 508 × 286 mm).
// - GetDIBits into an indexed format other than the bitmap's own synthesises the colour table:
//   black and white for 1 bit, the 16 standard colours for 4 bits, the halftone palette for 8 bits.
// - Run-length bitmaps: a run past the end of its row is dropped, not wrapped; decoding stops
//   once the position passes the top row; a cut-short absolute run keeps the pixels present;
//   pixels the stream never reaches keep index 0. The data is never read past biSizeImage.
// - GetDIBits and SetDIBits with sizes that differ from the bitmap's: scan line j is row j from
//   the bottom (bottom-up header) or from the top (top-down), and columns are clipped to the
//   narrower of the two. DIB sections keep 2^bits colour-table entries, zero past biClrUsed;
//   GetDIBits writes only the entries biClrUsed allows, and its pixels use only those.
// - Only the info headers of 12, 40, 52, 56, 108 and 124 bytes are accepted.
// - BITMAP is 32 bytes here (a 64-bit pointer at its end), not the 24 of 32-bit platforms.
// - The halftone palette is the 20 static colours around a 6 × 6 × 6 colour cube and a 20-step
//   grey ramp; on a palette screen it is the same.
// - Icons: DrawIconEx with DI_NORMAL combines the mask with the destination by AND and then the
//   colour image by XOR (the mask's 1 bits keep the destination, its 0 bits take the image). A
//   32-bit colour image with any non-zero alpha byte is instead blended by its alpha, read as
//   straight (not premultiplied) alpha, and the mask is not used. DI_MASK or DI_IMAGE alone copies
//   that one bitmap (SRCCOPY). Monochrome pixels become black (0) and white (1) whatever the
//   context's colours. Stretching takes the centre pixel (as COLORONCOLOR does) whatever the
//   context's stretch mode. A flicker-free brush fills the icon's rectangle before the icon is
//   drawn, which gives the same pixels as drawing off screen on that brush and copying back.
//   Icons are not GDI objects: DeleteObject, SelectObject and GetObject refuse them. The icon of
//   LoadIcon is shared and never destroyed; DestroyIcon accepts it and leaves it alone.
// - Text: fonts resolve through fontconfig by face name, weight, italic, pitch and family, with the
//   character set as a language hint; the Japanese system faces (ＭＳ Ｐゴシック, ＭＳ ゴシック, their
//   Latin names, the Mincho faces) map to the IPA faces, anything else to fontconfig's best match.
//   A face that is neither installed nor known to fontconfig's configuration as another's stand-in
//   (and an empty face name) takes the platform's default faces for Latin character sets, as its
//   font mapper does: Times New Roman for FF_ROMAN, Courier New for FF_MODERN or FIXED_PITCH,
//   Arial otherwise.
//   FreeType renders the glyphs with its default hinting. A missing weight or slant is synthesised.
// - Text is smoothed as with the platform's font smoothing switched on: glyphs are grey-scale
//   where the face's gasp table asks for grey at the em size in pixels (GASP_DOGRAY), and at every
//   size in faces without the table; elsewhere, and always for NONANTIALIASED_QUALITY, they are
//   rendered monochrome with FreeType's hinting for monochrome targets, which also sets their
//   advances. ClearType qualities are drawn grey-scale.
// - A negative lfHeight is the em height in pixels, a positive one the cell height (ascent +
//   descent), 0 means 12 pixels of em; heights are capped at 1024 pixels. A non-zero lfWidth sets
//   the average character width by stretching the em horizontally. lfEscapement turns the
//   baseline counter-clockwise on the device and the glyphs with it (lfOrientation is not read
//   separately); turned text has no background box, underline or strike-out.
// - Faces the platform ships map to the faces made with their metrics (Arial, Times New Roman,
//   Courier New → Liberation Sans, Serif, Mono; Calibri → Carlito; Cambria → Caladea); Tahoma,
//   MS Sans Serif, Symbol, Wingdings and Webdings come from Wine's font folder, which the layer
//   adds to its own fontconfig configuration. Wingdings 2 and 3 fall back to fontconfig's choice.
// - Caller's advances place each character at the sum of the advances before it, scaled to the
//   device and rounded once, so rounding does not add up along the run.
// - ExtTextOutW: lpDx has one entry per UTF-16 unit (a surrogate pair advances by both), two
//   with ETO_PDY, whose second entries move the next character across the baseline (logical
//   units, in the direction logical y runs). ETO_GLYPH_INDEX draws the indices only when the
//   font resolved to the face it names (ASCII case ignored); otherwise the run draws nothing,
//   succeeds and is counted. A SYMBOL_CHARSET font takes code c (or U+F000 + c) as U+F000 + c
//   on a face with a symbol map and as the character of the Symbol encoding on any other.
// - Text metrics follow the face's OS/2 table: tmAscent and tmDescent are usWinAscent and
//   usWinDescent scaled and each rounded to nearest (for a cell height, the descent is what the
//   cell leaves below the ascent), tmInternalLeading is tmHeight minus the em, tmExternalLeading
//   is the hhea line gap beyond the win metrics. Faces without the table use FreeType's metrics.
// - Every character advances by its hinted advance rounded to whole pixels; there is no kerning.
//   Without lpDx, SetTextCharacterExtra's spacing (scaled along x and rounded to whole pixels)
//   is added to each character, and SetTextJustification's extra (scaled and rounded, its
//   magnitude, as the platform takes it) is shared among the font's break characters, each
//   getting extra / count and the first extra % count of them one pixel more; the same run
//   written again is spaced the same. lpDx gives the distances between character origins, so
//   with it neither applies. GetTextExtentPoint32A includes both.
//   Strings are UTF-8; a byte that does not start a valid sequence stands for U+FFFD. ExtTextOutA's
//   lpDx has one entry per byte of the string: a character advances by the sum of its bytes'
//   entries.
// - Glyph coverage is blended onto surfaces of 16 bits and more as the platform blends it
//   (measured pixel for pixel in five colour pairs): coverage c of 0 … 255 becomes level
//   (17 c) >> 8 of 0 … 16, and with the ramp R = 0, 77, 104, 124, 140, 154, 167, 178, 189, 199,
//   208, 217, 225, 233, 240, 248, 255, each channel of the pixel u under text channel t becomes
//   t + (u − t)(W − t) / (255 − t) above t, with W = R[16 − k] + (255 − R[16 − k]) t / 255, and
//   t − (t − u)(t − B) / t below it, with B = R[k] t / 255 (integer division throughout); so
//   black on white gives R[16 − k], lighter than a straight mix. Coverage is thresholded at half on
//   indexed surfaces (1, 4 and 8 bits), which take the nearest colour the surface has. OPAQUE fills the text's cell box (its advance
//   width by tmHeight) with the background colour before the glyphs; TRANSPARENT fills nothing.
//   Text is never drawn through the raster operation of SetROP2.
// - Regions are kept in the platform's canonical form: y-bands of equal-height rectangles, sorted,
//   not touching within a band, and touching bands with equal spans merged. GetRegionData lists
//   exactly those rectangles, so regions of equal pixels give equal data. Rectangles exclude their
//   right and bottom edges; CreateRectRgn, SetRectRgn, IntersectClipRect, ExcludeClipRect and
//   RectInRegion accept swapped corners, and a rectangle of no area is the empty region.
// - Polygon regions and polygon fills (ALTERNATE and WINDING) contain pixel (x, y) when the point
//   (x, y) lies inside, the pixel's own coordinates as for lines; a point exactly on a left edge
//   is in, on a right edge out, and edges count for the rows from their upper end to one before
//   their lower end. This gives the measured 100 pixels for the square (0,0)–(10,10) and the 72
//   of (0,0), (13,4), (4,13) in the platform's shape. A polygon region of one or two points is
//   empty; a count of 0 or less is refused.
// - Elliptic and rounded-rectangle regions leave out the box's right column and bottom row, as
//   the platform's do. Each row of the ellipse inscribed in the rest reaches as far as the
//   platform's own ellipse outline: the pixels a midpoint walk with exact integer error terms
//   visits in one quadrant (Zingl's rectangle-bounded ellipse), mirrored into the other three.
//   CreateEllipticRgn(0, 0, 11, 11) is the 76 pixels the platform's Ellipse paints in a 10 × 10
//   box, and every box measured up to 120 × 120 gives the platform's outline. Where the walk
//   reaches the middle column before the last rows of a tall, narrow box, the platform's shape
//   stops rows short of its box; here the tip carries on in the middle column to the box's edge.
//   Corner ellipses over 65,536 pixels across are sampled instead (a pixel is in when its centre
//   lies inside or on the ellipse with each radius an eighth of a pixel shorter). The corner
//   ellipse of a rounded rectangle is at most the rectangle's size; below 2 pixels the corners
//   stay square, and a corner 2 pixels wide is its whole box.
// - ExtCreateRegion unites its rectangles in any order, swapped corners accepted. A transform of
//   scale and translation maps corners, rounded to the nearest integer (halves away from zero);
//   with rotation or shear each rectangle becomes the polygon of its rounded corners, filled as
//   above. A coordinate that leaves the 32-bit range refuses the call.
// - Limits: a region holds at most 2^20 rectangles, a polygon at most 2^24 points, and a scan
//   conversion visits at most 2^26 rows × edges; beyond them the call fails with
//   ERROR_NOT_ENOUGH_MEMORY. OffsetRgn and OffsetClipRgn fail (ERROR, ERROR_INVALID_PARAMETER)
//   and change nothing when a coordinate would leave the 32-bit range.
// - FrameRgn paints the pixels of the region that do not have width pixels of the region on
//   both sides and height pixels above and below; a width or height of 0 paints no strokes in that
//   direction, a negative one is refused. FillRgn and FrameRgn paint with PATCOPY, InvertRgn with
//   DSTINVERT, PaintRgn with the selected brush through the context's SetROP2 operation.
// - Regions given to SelectClipRgn and ExtSelectClipRgn are in device coordinates; the rectangles
//   of IntersectClipRect, ExcludeClipRect and RectVisible, the point of PtVisible, the offset of
//   OffsetClipRgn, the box GetClipBox reports and the regions the painters (FillRgn, FrameRgn,
//   InvertRgn, PaintRgn) take are logical, each rectangle mapped as a rectangle is.
// - The clip (device coordinates) is the clip region ∩ the meta region, and every drawing call
//   writes only there and inside its surface; GetPixel and SetPixel outside it return CLR_INVALID.
//   Without a clip region, ExtSelectClipRgn's RGN_OR, RGN_XOR and RGN_DIFF (and ExcludeClipRect)
//   combine with the surface's rectangle at the time of the call, while RGN_AND (and
//   IntersectClipRect) takes the given region as it is. The clip calls return the type of the
//   clip region ∩ meta region (not cut to the surface), SIMPLEREGION when there is neither;
//   GetClipBox returns the type and box of what is drawable, clip ∩ surface.
// - SetMetaRgn makes the clip in force the meta region and removes the clip region; without a
//   clip region it changes nothing. GetMetaRgn returns 0 and leaves the caller's region alone when
//   the context has no meta region, as GetClipRgn does without a clip region.
// - GetRandomRgn takes SYSRGN only: the layer has no windows, so the system region is the whole
//   surface. A region selected with SelectObject becomes the clip region (a copy) and the call
//   returns its type, or HGDI_ERROR.
// - Coordinate spaces: logical → (world transform, GM_ADVANCED only) → page → (window and
//   viewport) → device, then LAYOUT_RTL's mirror. Every call that takes logical coordinates
//   converts them at its entry; SetBrushOrgEx, GetDIBits, SetDIBits, DIB bits and the source
//   rectangle of StretchDIBits are device units and never transform.
// - The page transform is exact integer arithmetic on the extents and origins as set; with a
//   world transform the whole mapping is computed in double precision from the single-precision
//   XFORM. Either way the device coordinate is rounded once, half up (floor(v + 0.5)): 0.5 → 1,
//   −0.5 → 0, −1.5 → −1, as measured on the platform. DPtoLP rounds its inverse the same way.
// - LPtoDP and DPtoLP fail (ERROR_INVALID_PARAMETER) when a device coordinate needs more than 27
//   bits (|v| ≥ 2^27) or a logical result more than 32, as documented, and then write no point.
//   The drawing calls instead saturate device coordinates at ±2^30, beyond any surface; a stretch
//   whose rectangle reaches that far is the only thing it changes.
// - Fixed modes take the modelled screen's size: the window extent is HORZSIZE × VERTSIZE in the
//   mode's units (tenths and hundredths of a millimetre; MulDiv(size, 1000, 254), (size, 10000,
//   254) and (size, 14400, 254) for the English modes and twips), the viewport extent is
//   (HORZRES, −VERTRES). SetWindowExtEx, SetViewportExtEx and the Scale calls are ignored in the
//   fixed modes and MM_TEXT and still succeed with the previous extent. Changing to
//   MM_ANISOTROPIC keeps the extents; changing to MM_ISOTROPIC starts from MM_LOMETRIC's (which
//   are isotropic); setting the current mode again changes nothing.
// - MM_ISOTROPIC measures units in millimetres (the modelled pixels are not square): after every
//   extent change the viewport extent of the axis whose logical unit is longer shrinks to
//   |other viewport| × (its window / other window) × the ratio of the pixel sizes, rounded to
//   nearest, keeping its sign and at least 1.
// - Extents of 0 are refused (ERROR_INVALID_PARAMETER). ScaleWindowExtEx and ScaleViewportExtEx
//   truncate toward zero; a numerator or denominator of 0 is refused, a result of 0 leaves both
//   extents as they were and succeeds, a result beyond 32 bits is refused. Origins that Offset…
//   would carry beyond 32 bits are refused.
// - Rectangles map both corners and are normalised in device space; right and bottom edges stay
//   excluded there, so a mirroring extent covers device columns x + width … x − 1 as the layer's
//   negative extents do. A blit whose destination and source directions differ after the
//   transforms is mirrored. BitBlt and MaskBlt map the source through the source context's own
//   transforms and stretch (with the destination's stretch mode) when the two sizes differ.
// - A world transform that rotates or shears: a source context with one is refused
//   (ERROR_INVALID_PARAMETER), as documented for BitBlt, StretchBlt and MaskBlt. A destination
//   with one turns the rectangle of BitBlt, StretchBlt, MaskBlt, StretchDIBits, PatBlt and
//   FillRect into the parallelogram of its transformed corners, as the documentation says the
//   destination is rotated, drawn as PlgBlt draws: pixel (x, y) is in when the point (x, y) is,
//   with each pair of edges half open as for polygons (the left, or along rows the upper, edge
//   in), and takes the source pixel under its centre mapped back. AlphaBlend and TransparentBlt
//   take the bounding box of the four corners instead, unmirrored. Text is placed at the
//   transformed reference point and stays upright.
// - PlgBlt: the three points go through the destination's transforms; with a mask (monochrome,
//   lying over the source rectangle from (xMask, yMask)) a 0 bit keeps the destination.
// - SetWorldTransform, ModifyWorldTransform (MWT_IDENTITY included) fail in GM_COMPATIBLE, and
//   SetGraphicsMode(GM_COMPATIBLE) fails until the transform is the identity, as documented.
//   A matrix with a non-finite element or a determinant that is 0 or not finite in single
//   precision is refused; so is a CombineTransform or ModifyWorldTransform product that is not
//   finite. CombineTransform(r, a, b) applies a, then b; MWT_LEFTMULTIPLY applies the given
//   matrix before the current one, MWT_RIGHTMULTIPLY after it.
// - Text: the font's height and width are logical and scaled by the transforms' lengths of a
//   unit along y and x (rounded, at least 1 pixel); lpDx entries are logical and scaled along x.
//   In GM_ADVANCED a font of designed width (lfWidth 0) is stretched by as much as x scales more
//   than y, so that its glyphs follow the transform; in GM_COMPATIBLE they keep their designed
//   proportions. Enhanced-metafile playback draws each text record in the mode the record names.
//   GetTextExtentPoint32A and GetTextMetricsA answer in logical units (device lengths divided
//   by those scales, rounded half up); TA_UPDATECP advances the current position in logical units.
// - LAYOUT_RTL mirrors within the surface (the selected bitmap, or the screen): a point's pixel
//   column x becomes width − 1 − x, a rectangle's edges e become width − e, so a rectangle over
//   the whole surface still covers it. Blits (BitBlt, StretchBlt, MaskBlt, StretchDIBits) turn
//   their image over unless LAYOUT_BITMAPORIENTATIONPRESERVED is set; DrawIconEx unless
//   DI_NOMIRROR. Text keeps its glyphs and swaps TA_LEFT and TA_RIGHT. Setting LAYOUT_RTL on a
//   context in MM_TEXT changes its mode to MM_ISOTROPIC with the same extents, as documented.
//   Flags other than LAYOUT_RTL and LAYOUT_BITMAPORIENTATIONPRESERVED are refused.
// - SaveDC keeps the whole drawing state (selected objects, colours, modes, brush origin, text
//   alignment and spacing, current position, map mode, window and viewport, graphics mode, world
//   transform, layout, clip and meta regions) and returns the new depth; at most 1024 states (then 0, ERROR_NOT_ENOUGH_MEMORY).
//   RestoreDC with 0 or a level beyond the stack fails (ERROR_INVALID_PARAMETER). Objects a
//   saved state names count as selected: they cannot be deleted, and a bitmap stays with its
//   context, until no state names them.
// - Lines (LineTo, Polyline, PolylineTo, PolyPolyline and the outlines of filled shapes) are
//   drawn in device space between the transformed end points, one pixel per step along the
//   longer axis, first pixel in and last pixel out; across that axis the nearest pixel is lit,
//   and where the line passes exactly halfway the upper one (flat lines) or the left one (steep
//   lines), which is the diamond rule the platform documents for cosmetic lines. The pixels do
//   not depend on the direction of the line; LineTo (0,0)→(9,5) lights 9.
// - Cosmetic pens, pens of width 0, and pens that come to under one and a half pixels across
//   through the transforms draw one pixel wide. Their dashes count in pixels along the longer
//   axis, in units of three for cosmetic pens: PS_DOT is 3 on 3 off, PS_DASH 18/6, PS_DASHDOT
//   9/6/3/6, PS_DASHDOTDOT 9/3/3/3/3/3, and each PS_USERSTYLE entry is that many units (an odd
//   count swaps drawn and gap on every pass; entries that are all 0 draw solid). PS_ALTERNATE
//   lights every other pixel. A thin geometric pen counts in single pixels (PS_DASH 3/1, PS_DOT
//   1/1, …, its style entries as pixels) and, like every thin pen, leaves out the last point. The
//   pattern starts at each call's first point (each LineTo anew) and runs on across the corners
//   of one polyline or figure; each polyline of PolyPolyline starts it again.
// - Wide pens (CreatePen wider than one pixel once transformed, ExtCreatePen's PS_GEOMETRIC pens):
//   the pen is a disc of its logical width; the linear part of the world, page and layout
//   transforms makes it an ellipse in device space (Microsoft documents geometric pens as scaled
//   by the transformation; the platform's implementation under Wine instead scales one width by
//   the x axis). Each segment becomes the band of that width, each end a cap (round: the ellipse
//   the platform's Ellipse fills in the pen's box, as measured for widths 2 to 60; square: the
//   line lengthened at that end by half the width, rounded to whole pixels as a band's side is,
//   and drawn on as flat; flat: nothing), each corner a join (round: the same ellipse; bevel:
//   the triangle between the two bands' outer corners, which lie on whole pixels; miter: carried
//   on to the crossing of those corners' outer edges, its tip rounded to a pixel, while
//   1 / cos(φ/2) for a turn of φ is at most the miter limit, else bevelled). A segment's band
//   reaches a whole number of pixels to each side, as the platform's does: with s the device
//   offset from the line to the band's side toward smaller x (toward smaller y for a level
//   segment), that side lies at s rounded half up and the other at
//   −s rounded away from the line, each coordinate on its own. Other corners are kept in 256ths
//   of a pixel. Pixels are sampled at their integer coordinates with the polygon rule (left and
//   top edges in, right and bottom out); every piece is filled in one pass by the nonzero rule,
//   so a pixel is painted once even where pieces overlap or the figure crosses itself (within
//   batches of 2^20 outline points). This gives the measured pixels of strokes of widths 2 to 6
//   at every angle measured, and of their round caps — width 5 with round caps from (0,0) to
//   (12,0) paints 81 pixels, width 4 with flat caps and miter joins along (0,0), (10,0), (10,11)
//   paints 84. CreatePen's wide pens are round at ends and corners and
//   draw every style solid. A figure of no length leaves a round or square dot.
// - Geometric dashes are logical lengths: PS_DASH is 3 widths on and 1 off, PS_DOT 1/1, PS_DASHDOT
//   3/1/1/1, PS_DASHDOTDOT 3/1/1/1/1/1, PS_USERSTYLE entries are logical units (scaled by the
//   transforms, as documented; Wine leaves them unscaled). A segment advances the pattern by its
//   length in whole device pixels, the fraction dropped; a dash's ends lie at their true distance
//   along the segment, cut to whole pixels toward its start, and its pieces keep the segment's
//   direction. Every dash is capped at both ends with the pen's cap; with round or square caps
//   the predefined styles' dashes keep their lengths (the body is one width shorter, a dot when
//   nothing is left), a PS_USERSTYLE dash is capped beyond its length. A dash that starts on a
//   corner brings the corner's join and the pen's round dot; one that begins where an open
//   figure ends leaves its caps there. Gaps are left alone whatever the background mode. A
//   pattern whose period comes to under two pixels draws solid. The stroke is painted with the
//   pen's brush (solid, hatched with the context's background mode, or a pattern the pen keeps a
//   copy of) through the SetROP2 operation; a BS_NULL brush draws nothing.
// - PS_INSIDEFRAME with a wide pen: Rectangle moves its figure in by w / 2 pixels at the left and
//   top and (w − 1) / 2 at the right and bottom (w the pen's device width along that axis), so the
//   stroke fills the frame exactly, as measured; the fill shrinks with it. A world transform that
//   turns the rectangle leaves it as it is. SetMiterLimit refuses limits below 1.
// - Widths are held at 2^34 device pixels and outline corners within ±2^46; only the part of a
//   stroke near the clip is widened and filled (dashes far from it are passed over whole), and a
//   fill stops after 2^28 rows × edges (ERROR_NOT_ENOUGH_MEMORY).
// - The gaps of a dashed pen take the background colour in OPAQUE mode and are left alone in
//   TRANSPARENT mode; those of PS_ALTERNATE are always left alone. The pen and the gaps go
//   through the SetROP2 operation; a pixel two segments share is written twice.
// - A line is cut to the surface and the clip in exact integer arithmetic before it is walked,
//   so its pixels and its dash pattern there are those of the whole line, however far it
//   reaches. Polyline and PolyPolyline want at least 2 points per line, PolylineTo at least 1;
//   fewer, or more than 2^24 in one call, fail with ERROR_INVALID_PARAMETER and draw nothing.
// - ExtCreatePen: a cosmetic pen must be 1 wide with a BS_SOLID brush; a style array comes with
//   PS_USERSTYLE only, 1 to 16 entries; PS_ALTERNATE is cosmetic only; a geometric pen's brush
//   is BS_SOLID, BS_NULL, BS_HATCHED (a hatch up to HS_DIAGCROSS) or BS_PATTERN (a bitmap the pen
//   copies). Anything else fails with ERROR_INVALID_PARAMETER. GetObject answers its pens with EXTLOGPEN and every entry.
// - Polygon and PolyPolygon fill the figures in device space with the selected brush by the
//   context's fill mode and the SetROP2 operation, then outline each closed figure with the pen
//   (its dash pattern running on around the figure), so the outline of the square (0,0)–(10,10)
//   adds column 10 and row 10 to the fill's 100 pixels. Each figure needs at least 2 points;
//   fewer, no figures, or more than 2^24 points fail with ERROR_INVALID_PARAMETER. Only the rows
//   the clip reaches are scanned, so figures far beyond the surface cost what the surface does.
// - Rectangle takes its corners in either order; in device space the right column and bottom
//   row stay out, the fill covers the rest less the last column and row (Rectangle(0,0,10,10)
//   fills 81 pixels), and the outline runs through the first and last pixels inside, so with a
//   pen the shape is the whole 10 × 10 box; it starts at the top right corner and runs
//   counter-clockwise, which places its dashes. A polygon's outline starts at its first point.
//   A world transform that turns the rectangle fills and outlines the polygon of its four
//   transformed corners instead.
// - Ellipse and RoundRect take their box in either order; in device space the right column and
//   bottom row stay out. Their pixels are those of CreateEllipticRgn and CreateRoundRectRgn with
//   the box one pixel larger (Ellipse(0,0,10,10) covers the measured 76), filled whole by the
//   brush whether or not a pen draws; the pen draws the shape's edge pixels (those with a
//   neighbour left, right, above or below outside), as one figure counter-clockwise from the
//   outer pixel of the right side's row top + (h − 1) / 2, h the corner's height (the box's for
//   an ellipse), which places its dashes as the platform does; so fill and outline overlap
//   (under XOR an edge pixel is written twice). A wide pen strokes those edge pixels as a
//   polyline, as the platform's does (Ellipse(6, 5, 58, 41) with a 3-pixel pen paints 484
//   pixels, columns 5…58 and rows 4…41); arcs, pies and chords likewise. A wide PS_INSIDEFRAME
//   pen shrinks the box as Rectangle's frame moves in; a box narrower than the pen keeps its
//   middle line, a device pixel wide. A box 2 pixels or less across, and a RoundRect whose corner is under 2
//   pixels, has square corners: the pen draws the box's edge and the brush fills the box less its
//   last column and row, as Rectangle does; a box 1 × 1 or without width or height draws nothing.
//   The corner size of RoundRect is limited to the box; a negative one counts as its size.
//   These sizes match the platform (measured by the reference for every box up to 120 × 120,
//   with and without pen and brush, but for the tips of tall, narrow boxes above); Ellipse and
//   CreateEllipticRgn always agree.
// - Arc, ArcTo, AngleArc (within a turn), Pie and Chord take their pixels as the platform does
//   (measured: every one of 1,152 arcs, four boxes at 144 angles, both directions). The outline's
//   pixels are ordered counter-clockwise by their angle as vectors from the middle of their own
//   quadrant (the middle column, or for an even width the nearer of the two, likewise for rows),
//   starting on the right of the middle row; a radial runs from the pixel (left + w/2, top + h/2)
//   of the device box to its point rounded to a pixel (the centre itself counts as a point to the
//   right). Counter-clockwise, the arc runs from the first pixel at or past the start radial to the
//   one before the first at or past the end radial, which is left out as a line's last pixel is; a
//   pixel exactly on a radial counts as past it when the radial points up or along the middle row
//   (to the right only, for a clockwise arc), else as before it. Clockwise, the arc takes the same
//   pixels from the end radial to the start radial, drawn from the start, and leaves out the one at
//   the end radial. Radials that take the same pixel make the whole outline but its last pixel.
//   Boxes over 1,024 pixels, and those 2 pixels or less across, keep an older rule: an end is the
//   edge pixel where the radial from the box's centre crosses the ideal ellipse (its row and column
//   rounded down, held on that side's edge run), and equal ends make the whole ellipse. Pie adds
//   the lines from the end to the centre pixel ((left + right) / 2, (top + bottom) / 2 in device
//   space, rounded down) and back to the start, Chord the line from the end to the start; both fill
//   that closed figure by the winding rule with the polygon fills' pixel rule. ArcTo and AngleArc
//   first draw the line from the current position to the start and leave the current position at
//   the end: where the end's line meets the logical ellipse, rounded half up.
// - The arc direction (SetArcDirection, counter-clockwise by default, part of the saved state)
//   holds on the device in GM_COMPATIBLE, whatever the mapping turns over, and in logical space
//   in GM_ADVANCED, as documented; it is not applied to Rectangle. AngleArc counts its angles
//   counter-clockwise from the x axis as seen with y growing downwards, (x + r·cos a,
//   y − r·sin a) in logical space, a positive sweep counter-clockwise there whatever the arc
//   direction; a sweep of a whole turn or more draws the whole circle once. A radius beyond
//   2^31 − 1 or an angle that is not finite is refused (ERROR_INVALID_PARAMETER).
// - A world transform that rotates or shears, or a pen wider than a pixel, takes the logical
//   curve instead: each quarter of an ellipse is halved until the device curve strays less than
//   a quarter of a pixel from its chords, the points rounded half up; under a turning transform
//   that polygon is also what the brush fills (by the winding rule, the polygon fills' pixels).
// - Bézier curves are flattened as the platform flattens them (measured pixel for pixel on some
//   400 curves): in sixteenths of a unit, each curve halved (de Casteljau, every midpoint
//   (a + b + 1) / 2 in integers, halved toward zero) until it is flat, at most 16 times (8 on
//   the logical grid, as the platform's 256 pieces at most). A piece
//   is flat when its chord is under half a unit long, or when each inner control point, along the
//   chord's longer axis, stays short of the end (one before the start must not also lie before
//   the end; any other must not lie past it) and, across that axis, lies within a unit of the
//   chord's line (the slope taken in sixteenths per whole unit, truncated). The pieces' end
//   points, rounded half up to whole units, are drawn as one polyline with the curve's last pixel
//   left out. Where a logical unit comes to at most a pixel the curve is flattened in logical
//   units and each point then taken to the device like a line end, as the platform does; where
//   the transforms enlarge, it is flattened in device pixels (the control points in the exact
//   transform's sixteenths, the start at its device pixel), so that it stays smooth. Paths
//   flatten their device curves the same way. PolyBezier wants 3n + 1 points (n ≥ 1),
//   PolyBezierTo 3n (n ≥ 1) and moves the current position to the last point.
//   PolyDraw checks every type before drawing: PT_MOVETO alone, PT_LINETO, and PT_BEZIERTO in
//   threes, the line or the curve's last point optionally with PT_CLOSEFIGURE; after a closed
//   figure the next line starts at the figure's first point; the current position ends at the
//   last point. A count of 0 succeeds. Anything else, and more than 2^24 points, fails with
//   ERROR_INVALID_PARAMETER before a point is read.
// - Paths: between BeginPath and EndPath the line, shape and curve calls (MoveToEx, LineTo, the
//   poly calls, Rectangle, Ellipse, RoundRect, the arc calls, the Bézier calls, PolyDraw) record
//   their figures in device pixels instead of drawing; text is not recorded. GM_COMPATIBLE
//   records shapes through their last pixels inside (Rectangle(0,0,10,10) is (9,0), (0,0),
//   (0,9), (9,9), closed, as measured), ellipses and arcs as Bézier curves of at most a quarter
//   turn (4/3·tan(θ/4) control lengths) counter-clockwise from the right, as measured. A line
//   after a MoveToEx, a closed figure or a call that draws a figure of its own starts a figure
//   at the current position. The path is part of the saved state. GetPath returns logical
//   points; FlattenPath flattens as the Bézier calls do; FillPath and StrokeAndFillPath close
//   every figure and fill by the fill mode with the polygon fills' pixels; PathToRegion and
//   SelectClipPath make the same region; each of these uses the path up. A path call without a
//   finished path fails with ERROR_CAN_NOT_COMPLETE (GetPath −1), a GetPath buffer too small
//   with ERROR_INVALID_PARAMETER; paths hold at most 2^24 points (ERROR_NOT_ENOUGH_MEMORY).
// - A curve's pieces that lie wholly outside the clip (widened by two pixels) are skipped in one
//   step, so curves of any size cost what the surface shows; a call whose curves would still
//   flatten into more than 2^24 points fails with ERROR_NOT_ENOUGH_MEMORY.
// - Enhanced metafiles (EnhMetaFile.h): PlayEnhMetaFile maps the frame (hundredths of a
//   millimetre, the reference device's pixels per millimetre from the header) onto the
//   rectangle, right − left over right − left on both sides, composed with the context's own
//   transforms; the metafile's page and world transforms fold into the context's world
//   transform, the fixed mapping modes measured on the reference device. Playback starts from
//   the default state (black pen, white brush, system font, MM_TEXT, OPAQUE white background,
//   black text, TA_LEFT | TA_TOP, R2_COPYPEN, ALTERNATE, BLACKONWHITE), clips to the caller's
//   clip (made the meta region for the playback), does not clip to the rectangle, and gives back
//   the caller's whole state and deletes the records' objects afterwards. EMR_RESTOREDC reaches
//   only the metafile's own saved states. Clip regions of EMR_EXTSELECTCLIPRGN are in the
//   reference device's pixels; the regions of the painting records are logical. A record whose
//   own counts, offsets or bitmap sizes do not fit it ends playback (FALSE, ERROR_INVALID_DATA);
//   unknown records, comments and records without an effect on pixels are skipped. A colour
//   table cut short by a record's bytes reads as black past its end. ANSI text decodes through
//   the code page of the selected font's character set.
// - Metafile conversions (SetWinMetaFileBits, GetWinMetaFileBits) place pictures on a fixed
//   reference screen of 1920 × 1080 pixels on 508 × 286 mm, whatever the reference context
//   given. SetWinMetaFileBits gathers the bounds of what the records draw in reference pixels:
//   boxes (rectangles, ellipses, arcs, blits, regions) from (left, top) to (right − 1,
//   bottom − 1), points of lines and polygons inclusive, each mapped and rounded half up; the
//   outlines of shapes and lines reach half the selected pen's width further when it is wider
//   than 1 (not for PS_NULL and PS_INSIDEFRAME); text adds its reference point and a box
//   estimated from its advances (or half the font height per character) placed by the text
//   alignment. Text that comes without advances gets the font's own at its logical height taken
//   as pixels, times how much longer a unit is along y than along x under the mapping, rounded,
//   as the platform's conversion stores them (Arial 420 units high: "WMF" 396, 350, 257; 16
//   units of cell height at three quarters: "Aspose" 7, 5, 6, 6, 5, 6), so the text keeps its
//   logical length wherever it plays. The frame without an
//   extent is those bounds in hundredths of a millimetre, truncated. A record found damaged
//   adds nothing and ends the conversion there, as it ends playback. GetWinMetaFileBits
//   applies the enhanced metafile's transforms to every point; coordinates and sizes beyond 16
//   bits are clamped to −32768 … 32767, never wrapped; a window larger than 16 bits takes units
//   of as many reference pixels as keep it within them. Pen widths scale with the axis that
//   shrinks them most; Bézier curves become 16 straight pieces per segment; arcs swap their ends
//   when the map mirrors or the direction is clockwise. A polyline longer than 65535 points is
//   cut into pieces; a longer polygon is left out. ArcTo becomes LINETO, ARC and MOVETO outside
//   a path when the map does not turn; otherwise it, AngleArc and the curves of PolyDraw become
//   straight pieces (arcs no more than a quarter unit off the curve), the position left where
//   the call leaves it; a PolyDraw type array the call refuses draws nothing. Gradient fills,
//   AlphaBlend, TransparentBlt, MaskBlt and PlgBlt are drawn by the layer into bitmaps of their
//   box at the enhanced metafile's device resolution (at most 1024 pixels a side, scaled down
//   beyond), once on black and once on white: a pixel whose two values differ by at most 127
//   in every channel is carried over, opaque, in its value on black divided by
//   1 − difference / 255 (so a blend of alpha at least one half is drawn, un-premultiplied, and
//   a fainter one is not), through a monochrome mask (SRCAND) and the colours on black
//   (SRCPAINT) stretched under COLORONCOLOR; an opaque AlphaBlend of a bitmap without alpha is a
//   plain stretch. Clip regions become clip rectangles in logical units (intersect with the
//   region's box, exclude each rectangle of box − region; a difference excludes the region);
//   what would widen a clip in effect is approximated: a replacement intersects, its removal and
//   a union are left out, an exclusive or excludes. A clip path is the region of its figures in
//   the polygon fill mode of the moment, then clipped to as a region is. Rectangles, ellipses,
//   rounded rectangles, arcs, chords and pies in a path are figures as the layer's paths keep
//   them (through the last device pixels inside the box unless the transforms turn it, in the
//   arc direction), their curves in straight pieces.
// - Recording (CreateEnhMetaFileW): the reference device is the modelled screen, whose size and
//   millimetres the header carries and the fixed mapping modes use. The recording context is a
//   memory context on the stock 1 × 1 bitmap whose state works as on any context (positions,
//   mapping, selections, paths, clips); its drawing lands on that pixel, GetPixel fails and
//   SetPixel answers the colour asked for, and bitmaps cannot be selected into it. Records keep
//   the call's own arguments: boxes of RECTANGLE, ELLIPSE, ROUNDRECT and the arcs as given
//   (the player draws them as a call's box), offsets of origins as SET…ORGEX of the origin made,
//   poly records in their 16-bit form when every coordinate fits, EXTTEXTOUTW with the caller's
//   advances only (UTF-8 of the A calls as UTF-16), SETMITERLIMIT as the float's bits, FillRect
//   as the brush selected around a PATCOPY blit (system-colour brushes are not recorded), MaskBlt
//   and PlgBlt with their masks as 1-bit DIBs. Blit
//   sources travel whole as bottom-up DIBs: 1 bit with the destination's text and background
//   colours for a monochrome bitmap, else 32 bits; the source position in the source's device
//   pixels with an identity xformSrc. Objects get their creation record when first selected
//   (or named by FILLRGN/FRAMERGN) in the lowest free index; stock objects are 0x80000000 | n;
//   DeleteObject of a recorded object writes DELETEOBJECT and frees the index, SetPaletteEntries
//   and ResizePalette of a recorded palette their records; nHandles is the largest table size
//   reached. Bounds, in device pixels of the reference device: each drawing
//   record's points inclusive, boxes from (left, top) to (right − 1, bottom − 1), all mapped by
//   the context's transforms; strokes reach half the pen's device width (rounded up) further when
//   it is wider than 1 (not for PS_NULL, and not for boxes with PS_INSIDEFRAME); arcs, chords and
//   pies take their whole ellipse's box, ArcTo and AngleArc add the current position; text its
//   cell (advance width by ascent plus descent at its placed origin; turned text the square of
//   its length plus height around its reference point) and any opaque rectangle; a path's
//   drawing its points' box; drawing inside a path bracket adds nothing; the clip does not
//   narrow bounds. Nothing drawn: bounds (0, 0, −1, −1). Without a frame the frame is the bounds
//   in hundredths of a millimetre, truncated toward zero. The description keeps both strings
//   with their nulls and the final one.
// - Recording Windows metafiles (CreateMetaFileW): the same context, writing 16-bit records of
//   the calls' logical coordinates (held within −32768 … 32767). Objects take the lowest free
//   slot; a stock object is made like any other the first time it is selected and kept; a
//   region named by a record (SelectClipRgn, FillRgn, FrameRgn, InvertRgn, PaintRgn) is made
//   just before it and deleted right after; SelectClipRgn(null) selects an empty slot (0xFFFF),
//   which removes the clip region where it plays. Offsets of origins are recorded as the origin
//   they make, PolyPolyline as one polyline per figure, blits as DIBBITBLT/DIBSTRETCHBLT with
//   the whole source as a bottom-up DIB, text as EXTTEXTOUT in the code page of the font's
//   character set with each character's advance on its first byte. SetArcDirection(clockwise),
//   paths, world transforms, Bézier curves, ArcTo, AngleArc, PolyDraw, AlphaBlend,
//   TransparentBlt, GradientFill, glyph indices and clip combinations other than a copy fail
//   with ERROR_INVALID_PARAMETER; SetBrushOrgEx, SetMiterLimit and SetMetaRgn record nothing.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace gdi {

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using INT = int;
using COLORREF = DWORD;
using LPVOID = void*;
using FLOAT = float;

#define VISTEL_DECLARE_HANDLE(name) \
    struct name##__ { int unused; };    \
    using name = name##__*

using HGDIOBJ = void*;
VISTEL_DECLARE_HANDLE(HDC);
VISTEL_DECLARE_HANDLE(HBITMAP);
VISTEL_DECLARE_HANDLE(HPALETTE);
VISTEL_DECLARE_HANDLE(HBRUSH);
VISTEL_DECLARE_HANDLE(HPEN);
VISTEL_DECLARE_HANDLE(HFONT);
VISTEL_DECLARE_HANDLE(HRGN);
VISTEL_DECLARE_HANDLE(HWND);
VISTEL_DECLARE_HANDLE(HICON);
VISTEL_DECLARE_HANDLE(HINSTANCE);
VISTEL_DECLARE_HANDLE(HMETAFILE);
#undef VISTEL_DECLARE_HANDLE
using HANDLE = void*;
using HCURSOR = HICON;

// C libraries such as libjpeg define these as macros of the same values.
#ifndef TRUE
constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
constexpr BOOL FALSE = 0;
#endif

// ---- structures -------------------------------------------------------------------------------

struct POINT { LONG x; LONG y; };
struct SIZE { LONG cx; LONG cy; };
struct RECT { LONG left; LONG top; LONG right; LONG bottom; };

// The world transform: x' = x·eM11 + y·eM21 + eDx, y' = x·eM12 + y·eM22 + eDy.
struct RGBQUAD { BYTE rgbBlue; BYTE rgbGreen; BYTE rgbRed; BYTE rgbReserved; };
struct RGBTRIPLE { BYTE rgbtBlue; BYTE rgbtGreen; BYTE rgbtRed; };
static_assert(sizeof(RGBQUAD) == 4);
static_assert(sizeof(RGBTRIPLE) == 3);

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct BITMAPCOREHEADER {
    DWORD bcSize;
    WORD bcWidth;
    WORD bcHeight;
    WORD bcPlanes;
    WORD bcBitCount;
};
static_assert(sizeof(BITMAPCOREHEADER) == 12);

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct CIEXYZ { LONG ciexyzX; LONG ciexyzY; LONG ciexyzZ; };
struct CIEXYZTRIPLE { CIEXYZ ciexyzRed; CIEXYZ ciexyzGreen; CIEXYZ ciexyzBlue; };

struct BITMAPV4HEADER {
    DWORD bV4Size;
    LONG bV4Width;
    LONG bV4Height;
    WORD bV4Planes;
    WORD bV4BitCount;
    DWORD bV4V4Compression;
    DWORD bV4SizeImage;
    LONG bV4XPelsPerMeter;
    LONG bV4YPelsPerMeter;
    DWORD bV4ClrUsed;
    DWORD bV4ClrImportant;
    DWORD bV4RedMask;
    DWORD bV4GreenMask;
    DWORD bV4BlueMask;
    DWORD bV4AlphaMask;
    DWORD bV4CSType;
    CIEXYZTRIPLE bV4Endpoints;
    DWORD bV4GammaRed;
    DWORD bV4GammaGreen;
    DWORD bV4GammaBlue;
};
static_assert(sizeof(BITMAPV4HEADER) == 108);

struct BITMAPV5HEADER {
    BITMAPV4HEADER v4;
    DWORD bV5Intent;
    DWORD bV5ProfileData;
    DWORD bV5ProfileSize;
    DWORD bV5Reserved;
};
static_assert(sizeof(BITMAPV5HEADER) == 124);

// The colour table (or the three bit-field masks behind a 40-byte header) follows the header;
// callers allocate the room they describe.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
};

struct PALETTEENTRY { BYTE peRed; BYTE peGreen; BYTE peBlue; BYTE peFlags; };
static_assert(sizeof(PALETTEENTRY) == 4);

struct LOGPALETTE {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[1];
};

struct LOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    std::uintptr_t lbHatch;  // hatch index, or the pattern bitmap's handle for BS_PATTERN
};

// GradientFill's vertices (16-bit colour channels: 0xFF00 is full intensity) and meshes.
using COLOR16 = std::uint16_t;
struct TRIVERTEX {
    LONG x;
    LONG y;
    COLOR16 Red;
    COLOR16 Green;
    COLOR16 Blue;
    COLOR16 Alpha;
};
struct GRADIENT_RECT { std::uint32_t UpperLeft; std::uint32_t LowerRight; };
struct GRADIENT_TRIANGLE { std::uint32_t Vertex1; std::uint32_t Vertex2; std::uint32_t Vertex3; };

struct BLENDFUNCTION {
    BYTE BlendOp;
    BYTE BlendFlags;
    BYTE SourceConstantAlpha;
    BYTE AlphaFormat;
};

struct LOGPEN {
    UINT lopnStyle;
    POINT lopnWidth;
    COLORREF lopnColor;
};

/// GetObject's record of a pen made by ExtCreatePen; elpStyleEntry holds elpNumEntries entries,
/// so the record is longer than the structure when there are more than one.
struct EXTLOGPEN {
    DWORD elpPenStyle;
    DWORD elpWidth;
    UINT elpBrushStyle;
    COLORREF elpColor;
    std::uintptr_t elpHatch;
    DWORD elpNumEntries;
    DWORD elpStyleEntry[1];
};

constexpr int LF_FACESIZE = 32;
struct LOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    char lfFaceName[LF_FACESIZE];
};

struct RGNDATAHEADER {
    DWORD dwSize;    // sizeof(RGNDATAHEADER)
    DWORD iType;     // RDH_RECTANGLES
    DWORD nCount;    // rectangles in Buffer
    DWORD nRgnSize;  // bytes of rectangles in Buffer
    RECT rcBound;
};
static_assert(sizeof(RGNDATAHEADER) == 32);

// The rectangles (RECT) follow the header; callers allocate the room they describe.
struct RGNDATA {
    RGNDATAHEADER rdh;
    char Buffer[1];
};

struct XFORM {
    FLOAT eM11;
    FLOAT eM12;
    FLOAT eM21;
    FLOAT eM22;
    FLOAT eDx;
    FLOAT eDy;
};

struct ICONINFO {
    BOOL fIcon;
    DWORD xHotspot;
    DWORD yHotspot;
    HBITMAP hbmMask;   // a monochrome icon keeps its AND mask above its XOR image, twice as high
    HBITMAP hbmColor;  // null for a monochrome icon
};

struct TEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    BYTE tmFirstChar;
    BYTE tmLastChar;
    BYTE tmDefaultChar;
    BYTE tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};

// ---- constants --------------------------------------------------------------------------------

// Last-error codes set by the layer.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;  // no font face could be found for a font
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_BUSY = 170;
constexpr DWORD ERROR_CAN_NOT_COMPLETE = 1003;  // a path call without the path it needs
constexpr DWORD ERROR_INVALID_BITMAP = 1304;  // not used by the layer; reserved for callers
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_INVALID_PIXEL_FORMAT = 2000;

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
constexpr UINT GDI_ERROR = 0xFFFFFFFF;

// Object types (GetObjectType).
constexpr DWORD OBJ_PEN = 1;
constexpr DWORD OBJ_BRUSH = 2;
constexpr DWORD OBJ_DC = 3;
constexpr DWORD OBJ_METADC = 4;
constexpr DWORD OBJ_PAL = 5;
constexpr DWORD OBJ_FONT = 6;
constexpr DWORD OBJ_BITMAP = 7;
constexpr DWORD OBJ_REGION = 8;
constexpr DWORD OBJ_METAFILE = 9;
constexpr DWORD OBJ_MEMDC = 10;
constexpr DWORD OBJ_ENHMETADC = 12;
constexpr DWORD OBJ_ENHMETAFILE = 13;

// Bitmap compression.
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;
constexpr DWORD BI_JPEG = 4;
constexpr DWORD BI_PNG = 5;

constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;
constexpr DWORD CBM_INIT = 4;

// Raster operations (the ternary code's index is in bits 16 to 23).
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGECOPY = 0x00C000CA;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATPAINT = 0x00FB0A09;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;
constexpr DWORD NOMIRRORBITMAP = 0x80000000;
constexpr DWORD CAPTUREBLT = 0x40000000;
constexpr DWORD MAKEROP4(DWORD fore, DWORD back) { return ((back << 8) & 0xFF000000u) | fore; }

// Arc directions (SetArcDirection) and the point types of PolyDraw and GetPath.
constexpr int AD_COUNTERCLOCKWISE = 1;
constexpr int AD_CLOCKWISE = 2;
constexpr BYTE PT_CLOSEFIGURE = 0x01;
constexpr BYTE PT_LINETO = 0x02;
constexpr BYTE PT_BEZIERTO = 0x04;
constexpr BYTE PT_MOVETO = 0x06;

// Binary raster operations (SetROP2).
constexpr int R2_BLACK = 1;
constexpr int R2_NOTMERGEPEN = 2;
constexpr int R2_MASKNOTPEN = 3;
constexpr int R2_NOTCOPYPEN = 4;
constexpr int R2_MASKPENNOT = 5;
constexpr int R2_NOT = 6;
constexpr int R2_XORPEN = 7;
constexpr int R2_NOTMASKPEN = 8;
constexpr int R2_MASKPEN = 9;
constexpr int R2_NOTXORPEN = 10;
constexpr int R2_NOP = 11;
constexpr int R2_MERGENOTPEN = 12;
constexpr int R2_COPYPEN = 13;
constexpr int R2_MERGEPENNOT = 14;
constexpr int R2_MERGEPEN = 15;
constexpr int R2_WHITE = 16;

// Stretch modes.
constexpr int BLACKONWHITE = 1;
constexpr int WHITEONBLACK = 2;
constexpr int COLORONCOLOR = 3;
constexpr int HALFTONE = 4;
constexpr int STRETCH_ANDSCANS = BLACKONWHITE;
constexpr int STRETCH_ORSCANS = WHITEONBLACK;
constexpr int STRETCH_DELETESCANS = COLORONCOLOR;
constexpr int STRETCH_HALFTONE = HALFTONE;

// ExtFloodFill.
constexpr UINT FLOODFILLBORDER = 0;
constexpr UINT FLOODFILLSURFACE = 1;

// GradientFill modes.
constexpr std::uint32_t GRADIENT_FILL_RECT_H = 0;
constexpr std::uint32_t GRADIENT_FILL_RECT_V = 1;
constexpr std::uint32_t GRADIENT_FILL_TRIANGLE = 2;

// AlphaBlend.
constexpr BYTE AC_SRC_OVER = 0x00;
constexpr BYTE AC_SRC_ALPHA = 0x01;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// Region types (the results of the region and clipping calls) and combine modes.
constexpr int ERROR = 0;
constexpr int RGN_ERROR = ERROR;
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;
constexpr int COMPLEXREGION = 3;
constexpr int RGN_AND = 1;
constexpr int RGN_OR = 2;
constexpr int RGN_XOR = 3;
constexpr int RGN_DIFF = 4;
constexpr int RGN_COPY = 5;
constexpr int RGN_MIN = RGN_AND;
constexpr int RGN_MAX = RGN_COPY;
constexpr DWORD RDH_RECTANGLES = 1;
constexpr int SYSRGN = 4;
// Polygon fill modes.
constexpr int ALTERNATE = 1;
constexpr int WINDING = 2;
/// SelectObject's failure value when the object is a region.
inline const HGDIOBJ HGDI_ERROR = reinterpret_cast<HGDIOBJ>(~std::uintptr_t(0));

// Brush styles and hatches.
constexpr UINT BS_SOLID = 0;
constexpr UINT BS_NULL = 1;
constexpr UINT BS_HOLLOW = BS_NULL;
constexpr UINT BS_HATCHED = 2;
constexpr UINT BS_PATTERN = 3;
constexpr UINT BS_DIBPATTERN = 5;
constexpr UINT BS_DIBPATTERNPT = 6;
constexpr int HS_HORIZONTAL = 0;
constexpr int HS_VERTICAL = 1;
constexpr int HS_FDIAGONAL = 2;
constexpr int HS_BDIAGONAL = 3;
constexpr int HS_CROSS = 4;
constexpr int HS_DIAGCROSS = 5;

// Pen styles.
constexpr UINT PS_SOLID = 0;
constexpr UINT PS_DASH = 1;
constexpr UINT PS_DOT = 2;
constexpr UINT PS_DASHDOT = 3;
constexpr UINT PS_DASHDOTDOT = 4;
constexpr UINT PS_NULL = 5;
constexpr UINT PS_INSIDEFRAME = 6;
constexpr UINT PS_USERSTYLE = 7;
constexpr UINT PS_ALTERNATE = 8;
constexpr UINT PS_STYLE_MASK = 0x0000000F;
constexpr UINT PS_ENDCAP_ROUND = 0x00000000;
constexpr UINT PS_ENDCAP_SQUARE = 0x00000100;
constexpr UINT PS_ENDCAP_FLAT = 0x00000200;
constexpr UINT PS_ENDCAP_MASK = 0x00000F00;
constexpr UINT PS_JOIN_ROUND = 0x00000000;
constexpr UINT PS_JOIN_BEVEL = 0x00001000;
constexpr UINT PS_JOIN_MITER = 0x00002000;
constexpr UINT PS_JOIN_MASK = 0x0000F000;
constexpr UINT PS_COSMETIC = 0x00000000;
constexpr UINT PS_GEOMETRIC = 0x00010000;
constexpr UINT PS_TYPE_MASK = 0x000F0000;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int OEM_FIXED_FONT = 10;
constexpr int ANSI_FIXED_FONT = 11;
constexpr int ANSI_VAR_FONT = 12;
constexpr int SYSTEM_FONT = 13;
constexpr int DEVICE_DEFAULT_FONT = 14;
constexpr int DEFAULT_PALETTE = 15;
constexpr int SYSTEM_FIXED_FONT = 16;
constexpr int DEFAULT_GUI_FONT = 17;

// Font weights, character sets, pitch and family (LOGFONTA, TEXTMETRICA).
constexpr LONG FW_DONTCARE = 0;
constexpr LONG FW_THIN = 100;
constexpr LONG FW_LIGHT = 300;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_MEDIUM = 500;
constexpr LONG FW_SEMIBOLD = 600;
constexpr LONG FW_BOLD = 700;
constexpr LONG FW_HEAVY = 900;
constexpr BYTE ANSI_CHARSET = 0;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE SYMBOL_CHARSET = 2;
constexpr BYTE SHIFTJIS_CHARSET = 128;
constexpr BYTE HANGUL_CHARSET = 129;
constexpr BYTE GB2312_CHARSET = 134;
constexpr BYTE CHINESEBIG5_CHARSET = 136;
constexpr BYTE GREEK_CHARSET = 161;
constexpr BYTE TURKISH_CHARSET = 162;
constexpr BYTE HEBREW_CHARSET = 177;
constexpr BYTE ARABIC_CHARSET = 178;
constexpr BYTE RUSSIAN_CHARSET = 204;
constexpr BYTE THAI_CHARSET = 222;
constexpr BYTE EASTEUROPE_CHARSET = 238;
constexpr BYTE OEM_CHARSET = 255;
constexpr BYTE DEFAULT_PITCH = 0;
constexpr BYTE FIXED_PITCH = 1;
constexpr BYTE VARIABLE_PITCH = 2;
constexpr BYTE FF_DONTCARE = 0x00;
constexpr BYTE FF_ROMAN = 0x10;
constexpr BYTE FF_SWISS = 0x20;
constexpr BYTE FF_MODERN = 0x30;
constexpr BYTE FF_SCRIPT = 0x40;
constexpr BYTE FF_DECORATIVE = 0x50;
// Output qualities (lfQuality).
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE DRAFT_QUALITY = 1;
constexpr BYTE PROOF_QUALITY = 2;
constexpr BYTE NONANTIALIASED_QUALITY = 3;
constexpr BYTE ANTIALIASED_QUALITY = 4;
constexpr BYTE CLEARTYPE_QUALITY = 5;
constexpr BYTE CLEARTYPE_NATURAL_QUALITY = 6;
// tmPitchAndFamily bits; TMPF_FIXED_PITCH set means a variable-pitch font, as documented.
constexpr BYTE TMPF_FIXED_PITCH = 0x01;
constexpr BYTE TMPF_VECTOR = 0x02;
constexpr BYTE TMPF_TRUETYPE = 0x04;

// Text alignment (SetTextAlign) and ExtTextOutA options.
constexpr UINT TA_NOUPDATECP = 0;
constexpr UINT TA_UPDATECP = 1;
constexpr UINT TA_LEFT = 0;
constexpr UINT TA_RIGHT = 2;
constexpr UINT TA_CENTER = 6;
constexpr UINT TA_TOP = 0;
constexpr UINT TA_BOTTOM = 8;
constexpr UINT TA_BASELINE = 24;
constexpr UINT TA_RTLREADING = 256;
constexpr UINT TA_MASK = TA_BASELINE | TA_CENTER | TA_UPDATECP | TA_RTLREADING;
constexpr UINT ETO_OPAQUE = 0x0002;
constexpr UINT ETO_CLIPPED = 0x0004;

// Mapping modes, graphics modes, world-transform changes and layouts.
constexpr int MM_TEXT = 1;
constexpr int MM_LOMETRIC = 2;
constexpr int MM_HIMETRIC = 3;
constexpr int MM_LOENGLISH = 4;
constexpr int MM_HIENGLISH = 5;
constexpr int MM_TWIPS = 6;
constexpr int MM_ISOTROPIC = 7;
constexpr int MM_ANISOTROPIC = 8;
constexpr int GM_COMPATIBLE = 1;
constexpr int GM_ADVANCED = 2;
constexpr DWORD MWT_IDENTITY = 1;
constexpr DWORD MWT_LEFTMULTIPLY = 2;
constexpr DWORD MWT_RIGHTMULTIPLY = 3;
constexpr DWORD LAYOUT_LTR = 0x00000000;
constexpr DWORD LAYOUT_RTL = 0x00000001;
constexpr DWORD LAYOUT_BITMAPORIENTATIONPRESERVED = 0x00000008;

// Palette entry flags.
constexpr BYTE PC_RESERVED = 0x01;
constexpr BYTE PC_EXPLICIT = 0x02;
constexpr BYTE PC_NOCOLLAPSE = 0x04;

// GetDeviceCaps indices.
constexpr int DRIVERVERSION = 0;
constexpr int TECHNOLOGY = 2;
constexpr int HORZSIZE = 4;
constexpr int VERTSIZE = 6;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMBRUSHES = 16;
constexpr int NUMPENS = 18;
constexpr int NUMFONTS = 22;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int SIZEPALETTE = 104;
constexpr int NUMRESERVED = 106;
constexpr int COLORRES = 108;
constexpr int DT_RASDISPLAY = 1;
constexpr int DT_METAFILE = 5;
constexpr int RC_BITBLT = 0x0001;
constexpr int RC_PALETTE = 0x0100;
constexpr int RC_DI_BITMAP = 0x0080;
constexpr int RC_DIBTODEV = 0x0200;
constexpr int RC_STRETCHBLT = 0x0800;
constexpr int RC_STRETCHDIB = 0x2000;

// System colours.
constexpr int COLOR_SCROLLBAR = 0;
constexpr int COLOR_BACKGROUND = 1;
constexpr int COLOR_ACTIVECAPTION = 2;
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_MENU = 4;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWFRAME = 6;
constexpr int COLOR_MENUTEXT = 7;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_ACTIVEBORDER = 10;
constexpr int COLOR_INACTIVEBORDER = 11;
constexpr int COLOR_APPWORKSPACE = 12;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
constexpr int COLOR_BTNHIGHLIGHT = 20;
constexpr int COLOR_3DDKSHADOW = 21;
constexpr int COLOR_3DLIGHT = 22;
constexpr int COLOR_INFOTEXT = 23;
constexpr int COLOR_INFOBK = 24;
constexpr int COLOR_HOTLIGHT = 26;
constexpr int COLOR_GRADIENTACTIVECAPTION = 27;
constexpr int COLOR_GRADIENTINACTIVECAPTION = 28;
constexpr int COLOR_MENUHILIGHT = 29;
constexpr int COLOR_MENUBAR = 30;
constexpr int kSysColorCount = 31;

// System metrics.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CXCURSOR = 13;
constexpr int SM_CYCURSOR = 14;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;

// DrawIconEx flags.
constexpr UINT DI_MASK = 0x0001;
constexpr UINT DI_IMAGE = 0x0002;
constexpr UINT DI_NORMAL = 0x0003;
constexpr UINT DI_COMPAT = 0x0004;
constexpr UINT DI_DEFAULTSIZE = 0x0008;
constexpr UINT DI_NOMIRROR = 0x0010;

// Predefined icons: integer resource names (MAKEINTRESOURCE).
inline const char* MAKEINTRESOURCEA(WORD id) { return reinterpret_cast<const char*>(std::uintptr_t(id)); }
inline const char* const IDI_APPLICATION = MAKEINTRESOURCEA(32512);

// FormatMessage.
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

// Colour helpers.
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) { return COLORREF(r) | (COLORREF(g) << 8) | (COLORREF(b) << 16); }
constexpr COLORREF PALETTERGB(BYTE r, BYTE g, BYTE b) { return 0x02000000u | RGB(r, g, b); }
constexpr COLORREF PALETTEINDEX(WORD i) { return 0x01000000u | i; }
constexpr BYTE GetRValue(COLORREF c) { return BYTE(c); }
constexpr BYTE GetGValue(COLORREF c) { return BYTE(c >> 8); }
constexpr BYTE GetBValue(COLORREF c) { return BYTE(c >> 16); }

// ---- kernel -----------------------------------------------------------------------------------

DWORD GetLastError();
void SetLastError(DWORD code);
/// Writes the text of a code the layer sets (FORMAT_MESSAGE_FROM_SYSTEM) into buffer, cut to
/// size − 1 bytes and terminated; returns the number of bytes written, 0 for an unknown code.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId, char* buffer,
                     DWORD size, std::va_list* arguments);
DWORD GetTickCount();
int MulDiv(int number, int numerator, int denominator);

// ---- device contexts --------------------------------------------------------------------------

HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
HGDIOBJ GetCurrentObject(HDC dc, UINT type);
BOOL DeleteObject(HGDIOBJ object);
int GetObjectA(HGDIOBJ object, int size, void* buffer);
inline int GetObject(HGDIOBJ object, int size, void* buffer) { return GetObjectA(object, size, buffer); }
DWORD GetObjectType(HGDIOBJ object);
HGDIOBJ GetStockObject(int index);
int GetDeviceCaps(HDC dc, int index);
BOOL GdiFlush();

COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
int SetROP2(HDC dc, int mode);
int GetROP2(HDC dc);
int SetStretchBltMode(HDC dc, int mode);
int GetStretchBltMode(HDC dc);
BOOL SetBrushOrgEx(HDC dc, int x, int y, POINT* previous);
BOOL GetBrushOrgEx(HDC dc, POINT* origin);
BOOL MoveToEx(HDC dc, int x, int y, POINT* previous);
BOOL GetCurrentPositionEx(HDC dc, POINT* position);
int SetPolyFillMode(HDC dc, int mode);
int GetPolyFillMode(HDC dc);

/// Pushes the whole drawing state; returns the new depth (1 for the first), 0 on failure.
int SaveDC(HDC dc);
/// A positive level names a saved state by its depth, a negative one counts back from the
/// newest (−1); the state and every state saved after it leave the stack.
BOOL RestoreDC(HDC dc, int savedDC);

// ---- coordinate spaces ------------------------------------------------------------------------

int SetMapMode(HDC dc, int mode);
int GetMapMode(HDC dc);
BOOL SetWindowOrgEx(HDC dc, int x, int y, POINT* previous);
BOOL GetWindowOrgEx(HDC dc, POINT* origin);
BOOL OffsetWindowOrgEx(HDC dc, int dx, int dy, POINT* previous);
BOOL SetViewportOrgEx(HDC dc, int x, int y, POINT* previous);
BOOL GetViewportOrgEx(HDC dc, POINT* origin);
BOOL OffsetViewportOrgEx(HDC dc, int dx, int dy, POINT* previous);
BOOL SetWindowExtEx(HDC dc, int x, int y, SIZE* previous);
BOOL GetWindowExtEx(HDC dc, SIZE* extent);
BOOL SetViewportExtEx(HDC dc, int x, int y, SIZE* previous);
BOOL GetViewportExtEx(HDC dc, SIZE* extent);
BOOL ScaleWindowExtEx(HDC dc, int xNum, int xDenom, int yNum, int yDenom, SIZE* previous);
BOOL ScaleViewportExtEx(HDC dc, int xNum, int xDenom, int yNum, int yDenom, SIZE* previous);
BOOL LPtoDP(HDC dc, POINT* points, int count);
BOOL DPtoLP(HDC dc, POINT* points, int count);
int SetGraphicsMode(HDC dc, int mode);
int GetGraphicsMode(HDC dc);
BOOL SetWorldTransform(HDC dc, const XFORM* transform);
BOOL GetWorldTransform(HDC dc, XFORM* transform);
BOOL ModifyWorldTransform(HDC dc, const XFORM* transform, DWORD mode);
/// result = first, then second (first × second); result may be either input.
BOOL CombineTransform(XFORM* result, const XFORM* first, const XFORM* second);
/// Returns the previous layout, GDI_ERROR for a bad context or unknown flags.
DWORD SetLayout(HDC dc, DWORD layout);
DWORD GetLayout(HDC dc);

// ---- bitmaps ----------------------------------------------------------------------------------

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits);
HBITMAP CreateBitmapIndirect(const BITMAP* bitmap);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage);
LONG GetBitmapBits(HBITMAP bitmap, LONG size, void* bits);
LONG SetBitmapBits(HBITMAP bitmap, DWORD size, const void* bits);
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage);
int SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, const void* bits, const BITMAPINFO* info,
              UINT usage);
UINT GetDIBColorTable(HDC dc, UINT start, UINT count, RGBQUAD* colors);
UINT SetDIBColorTable(HDC dc, UINT start, UINT count, const RGBQUAD* colors);

// ---- palettes ---------------------------------------------------------------------------------

HPALETTE CreatePalette(const LOGPALETTE* palette);
HPALETTE CreateHalftonePalette(HDC dc);
BOOL ResizePalette(HPALETTE palette, UINT entries);
UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* entries);
UINT SetPaletteEntries(HPALETTE palette, UINT start, UINT count, const PALETTEENTRY* entries);
UINT GetNearestPaletteIndex(HPALETTE palette, COLORREF color);
UINT GetSystemPaletteEntries(HDC dc, UINT start, UINT count, PALETTEENTRY* entries);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC dc);
BOOL UnrealizeObject(HGDIOBJ object);

// ---- brushes, pens, fonts ---------------------------------------------------------------------

HBRUSH CreateBrushIndirect(const LOGBRUSH* brush);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateHatchBrush(int hatch, COLORREF color);
HBRUSH CreatePatternBrush(HBITMAP bitmap);
/// A packed DIB: the header, the colour table (RGBQUADs, or WORD palette indices with
/// DIB_PAL_COLORS) and the bits, back to back. The brush keeps a copy.
HBRUSH CreateDIBPatternBrushPt(const void* packedDib, UINT usage);
/// The layer has no movable global memory: the handle is the packed DIB's address, as a fixed
/// block's handle is on the platform.
using HGLOBAL = void*;
HBRUSH CreateDIBPatternBrush(HGLOBAL packedDib, UINT usage);
HPEN CreatePenIndirect(const LOGPEN* pen);
HPEN CreatePen(int style, int width, COLORREF color);
HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount, const DWORD* styles);

// ---- lines and filled shapes ------------------------------------------------------------------

BOOL LineTo(HDC dc, int x, int y);
BOOL Polyline(HDC dc, const POINT* points, int count);
BOOL PolylineTo(HDC dc, const POINT* points, DWORD count);
BOOL PolyPolyline(HDC dc, const POINT* points, const DWORD* counts, DWORD polylines);
BOOL Polygon(HDC dc, const POINT* points, int count);
BOOL PolyPolygon(HDC dc, const POINT* points, const INT* counts, int polygons);
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int width, int height);
BOOL Arc(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
/// Arc with a line from the current position to the arc's start; the arc's end becomes the
/// current position.
BOOL ArcTo(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
BOOL AngleArc(HDC dc, int x, int y, DWORD radius, FLOAT startAngle, FLOAT sweepAngle);
BOOL Pie(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
BOOL Chord(HDC dc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
/// Returns the previous direction, 0 on failure.
int SetArcDirection(HDC dc, int direction);
int GetArcDirection(HDC dc);
/// count = 3n + 1 (n ≥ 1) points: a start point, then two control points and an end per curve.
BOOL PolyBezier(HDC dc, const POINT* points, DWORD count);
/// count = 3n points from the current position, which moves to the last point.
BOOL PolyBezierTo(HDC dc, const POINT* points, DWORD count);
BOOL PolyDraw(HDC dc, const POINT* points, const BYTE* types, int count);

// ---- paths ------------------------------------------------------------------------------------

/// Opens a new path (discarding the old one): until EndPath the line, shape and curve calls
/// record their figures into it instead of drawing.
BOOL BeginPath(HDC dc);
BOOL EndPath(HDC dc);
BOOL AbortPath(HDC dc);
BOOL CloseFigure(HDC dc);
BOOL FlattenPath(HDC dc);
/// The path becomes the outline of what stroking it with the selected pen would paint: closed
/// figures to fill with WINDING (they overlap where joins and caps meet). Fails with
/// ERROR_CAN_NOT_COMPLETE when the pen draws one pixel wide, as there is no area to outline.
BOOL WidenPath(HDC dc);
/// The path's points (logical) and types; with count 0 the number of points, −1 on failure.
int GetPath(HDC dc, POINT* points, BYTE* types, int count);
BOOL StrokePath(HDC dc);
BOOL FillPath(HDC dc);
BOOL StrokeAndFillPath(HDC dc);
BOOL SelectClipPath(HDC dc, int mode);
HRGN PathToRegion(HDC dc);
/// The longest miter a PS_JOIN_MITER join may have, in pen widths (10 by default); a longer one
/// is bevelled. Limits below 1 (and non-finite ones) are refused with ERROR_INVALID_PARAMETER.
BOOL SetMiterLimit(HDC dc, FLOAT limit, FLOAT* previous);
BOOL GetMiterLimit(HDC dc, FLOAT* limit);
HFONT CreateFontIndirectA(const LOGFONTA* font);
inline HFONT CreateFontIndirect(const LOGFONTA* font) { return CreateFontIndirectA(font); }

// ---- text ------------------------------------------------------------------------------------

/// Writes count bytes of UTF-8 text with the selected font at (x, y) as the text alignment says.
BOOL TextOutA(HDC dc, int x, int y, const char* text, int count);
inline BOOL TextOut(HDC dc, int x, int y, const char* text, int count) { return TextOutA(dc, x, y, text, count); }
/// TextOutA with an optional rectangle that ETO_OPAQUE fills with the background colour and
/// ETO_CLIPPED clips the text to, and optional advances (one entry per byte of the text).
BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, const char* text, UINT count, const INT* dx);
inline BOOL ExtTextOut(HDC dc, int x, int y, UINT options, const RECT* rect, const char* text, UINT count,
                       const INT* dx) {
    return ExtTextOutA(dc, x, y, options, rect, text, count, dx);
}
/// The advance width of the text and the font's tmHeight; the empty text is 0 wide.
BOOL GetTextExtentPoint32A(HDC dc, const char* text, int count, SIZE* size);
inline BOOL GetTextExtentPoint32(HDC dc, const char* text, int count, SIZE* size) {
    return GetTextExtentPoint32A(dc, text, count, size);
}
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
inline BOOL GetTextMetrics(HDC dc, TEXTMETRICA* metrics) { return GetTextMetricsA(dc, metrics); }
/// The family name of the face the selected font resolved to, cut to count − 1 bytes; with no
/// buffer, the bytes needed including the terminator.
int GetTextFaceA(HDC dc, int count, char* name);
/// Returns the previous alignment, GDI_ERROR for a bad context.
UINT SetTextAlign(HDC dc, UINT align);
UINT GetTextAlign(HDC dc);
/// Logical units added to every character of text written without advances; returns the previous
/// spacing, 0x80000000 for a bad context (as GetTextCharacterExtra does).
int SetTextCharacterExtra(HDC dc, int extra);
int GetTextCharacterExtra(HDC dc);
/// Logical units shared among the break characters of text written without advances: each gets
/// extra / count, the first extra % count one pixel more (count 0 or extra 0: none).
BOOL SetTextJustification(HDC dc, int extra, int count);

// ---- transfers --------------------------------------------------------------------------------

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop);
BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sourceWidth,
                int sourceHeight, DWORD rop);
BOOL PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop);
BOOL MaskBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, HBITMAP mask,
             int mx, int my, DWORD rop);
int StretchDIBits(HDC dc, int x, int y, int width, int height, int sx, int sy, int sourceWidth,
                  int sourceHeight, const void* bits, const BITMAPINFO* info, UINT usage, DWORD rop);
/// The brush may be a system colour index + 1 (COLOR_WINDOW + 1) instead of a handle.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
BOOL SetPixelV(HDC dc, int x, int y, COLORREF color);
/// The colour the context's surface would show for color; CLR_INVALID for a bad context.
COLORREF GetNearestColor(HDC dc, COLORREF color);
/// Fills with the selected brush through the SetROP2 operation, from (x, y) over the pixels not
/// of the border colour (FLOODFILLBORDER) or of exactly the given colour (FLOODFILLSURFACE).
BOOL ExtFloodFill(HDC dc, int x, int y, COLORREF color, UINT type);
inline BOOL FloodFill(HDC dc, int x, int y, COLORREF color) { return ExtFloodFill(dc, x, y, color, FLOODFILLBORDER); }
BOOL GradientFill(HDC dc, const TRIVERTEX* vertices, std::uint32_t vertexCount, const void* mesh,
                  std::uint32_t meshCount, std::uint32_t mode);
BOOL AlphaBlend(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sourceWidth,
                int sourceHeight, BLENDFUNCTION blend);
BOOL TransparentBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, int sourceWidth,
                    int sourceHeight, UINT transparent);
/// Returns the number of scan lines set; 0 on failure.
int SetDIBitsToDevice(HDC dc, int x, int y, DWORD width, DWORD height, int sx, int sy, UINT startScan,
                      UINT lines, const void* bits, const BITMAPINFO* info, UINT usage);
/// points: the destination's upper-left, upper-right and lower-left corners.
BOOL PlgBlt(HDC dest, const POINT* points, HDC source, int sx, int sy, int width, int height, HBITMAP mask,
            int mx, int my);

// ---- regions ---------------------------------------------------------------------------------

HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* rect);
HRGN CreateRoundRectRgn(int left, int top, int right, int bottom, int width, int height);
HRGN CreateEllipticRgn(int left, int top, int right, int bottom);
HRGN CreateEllipticRgnIndirect(const RECT* rect);
HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode);
HRGN CreatePolyPolygonRgn(const POINT* points, const INT* counts, int polygons, int fillMode);
/// count is the size in bytes of data; transform may be null.
HRGN ExtCreateRegion(const XFORM* transform, DWORD count, const RGNDATA* data);
/// With no buffer, the bytes the data needs; otherwise the bytes written, 0 when count is short.
DWORD GetRegionData(HRGN region, DWORD count, RGNDATA* data);
int CombineRgn(HRGN dest, HRGN source1, HRGN source2, int mode);
BOOL EqualRgn(HRGN a, HRGN b);
int OffsetRgn(HRGN region, int x, int y);
BOOL SetRectRgn(HRGN region, int left, int top, int right, int bottom);
BOOL PtInRegion(HRGN region, int x, int y);
BOOL RectInRegion(HRGN region, const RECT* rect);
int GetRgnBox(HRGN region, RECT* rect);
BOOL FillRgn(HDC dc, HRGN region, HBRUSH brush);
BOOL FrameRgn(HDC dc, HRGN region, HBRUSH brush, int width, int height);
BOOL InvertRgn(HDC dc, HRGN region);
BOOL PaintRgn(HDC dc, HRGN region);

// ---- clipping ---------------------------------------------------------------------------------

int SelectClipRgn(HDC dc, HRGN region);
int ExtSelectClipRgn(HDC dc, HRGN region, int mode);
int IntersectClipRect(HDC dc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC dc, int left, int top, int right, int bottom);
int OffsetClipRgn(HDC dc, int x, int y);
int GetClipBox(HDC dc, RECT* rect);
/// 1 and a copy in region when the context has a clip region, 0 when it has none, −1 on error.
int GetClipRgn(HDC dc, HRGN region);
int SetMetaRgn(HDC dc);
int GetMetaRgn(HDC dc, HRGN region);
/// Only SYSRGN: the context's whole surface.
int GetRandomRgn(HDC dc, HRGN region, INT which);
BOOL PtVisible(HDC dc, int x, int y);
BOOL RectVisible(HDC dc, const RECT* rect);

// ---- icons ------------------------------------------------------------------------------------

/// The rows of both bit arrays are padded to 16 bits, as for CreateBitmap. With planes × bits 1
/// the icon is monochrome. The instance is not consulted: the layer has no modules.
HICON CreateIcon(HINSTANCE instance, int width, int height, BYTE planes, BYTE bitsPixel, const BYTE* andBits,
                 const BYTE* xorBits);
BOOL DestroyIcon(HICON icon);
BOOL DrawIconEx(HDC dc, int left, int top, HICON icon, int width, int height, UINT step, HBRUSH flickerFreeBrush,
                UINT flags);
/// Fills info with new copies of the icon's bitmaps, which the caller deletes.
BOOL GetIconInfo(HICON icon, ICONINFO* info);
/// Only the predefined IDI_APPLICATION without an instance: a 32 × 32 shared icon.
HICON LoadIconA(HINSTANCE instance, const char* name);
inline HICON LoadIcon(HINSTANCE instance, const char* name) { return LoadIconA(instance, name); }

// ---- Windows metafiles ------------------------------------------------------------------------
// The 16-bit metafiles of [MS-WMF]: an 18-byte header and records. A handle keeps a copy of the
// bytes it was made from; the records are checked once when it is made.

/// data holds the header and the records (no placeable header in front). Refused with
/// ERROR_INVALID_DATA when the header is not a metafile header (type 1 or 2, 9 words, version
/// 0x100 or 0x300); a record that does not fit in the data ends the records there.
HMETAFILE SetMetaFileBitsEx(UINT size, const BYTE* data);
/// With no buffer, the size of the bytes; otherwise copies them when size is enough, returning
/// the size, and returns 0 when it is not.
UINT GetMetaFileBitsEx(HMETAFILE metafile, UINT size, void* data);
/// Only in memory: fileName must be null.
HMETAFILE CopyMetaFileA(HMETAFILE metafile, const char* fileName);
BOOL DeleteMetaFile(HMETAFILE metafile);
/// Plays the records onto the context through the layer's own calls. The objects the records
/// make live in a table of the header's size (each new one in the lowest free slot); afterwards
/// the context gets back the pen, brush, font and palette it had, states the records saved and
/// left on the stack are dropped, and every object the records made is deleted. Other settings
/// the records make (mapping, colours, clip) stay, as after the same calls made directly; the
/// records restore only states they saved themselves. An object the
/// records delete while it is selected stays usable until it is replaced, as the platform keeps
/// it. False when a record was damaged (its parameters run past its size); playback stops there.
BOOL PlayMetaFile(HDC dc, HMETAFILE metafile);

// ---- system -----------------------------------------------------------------------------------

DWORD GetSysColor(int index);
BOOL SetSysColors(int count, const INT* elements, const COLORREF* colors);
int GetSystemMetrics(int index);

}  // namespace gdi
