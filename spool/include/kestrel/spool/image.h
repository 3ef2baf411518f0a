// kestrelum's image re-encoding (spool/image/): at an image's EndImage the
// held operators are read back into an image description, judged and
// colour-converted, turned a quarter when the renderer marked the image,
// compressed (run-length, delta row or JPEG by DDM 330) and sent as one
// ReadImage in place of the incoming one. Parser thread only.
//
// Byte order: the stream carries R, G, B. The image's pixels are judged
// as they come (R, G, B), turned to B, G, R once for the conversions, and
// back to R, G, B before anything is built from them (rows, JPEG). The
// palette is converted as a B, G, R copy and written back as R, G, B at
// once, so an image that goes out with its incoming data is consistent
// with its palette on every path.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kestrel/spool/umpd.h"

// ---- codes ---------------------------------------------------------------------

// Image kinds (the colour-space codes used throughout the re-encoding).
enum : int {
  IMAGE_KIND_GRAY = 3,           // direct grey, 8 bits
  IMAGE_KIND_RGB = 4,            // direct R, G, B, 24 bits
  IMAGE_KIND_INDEXED_GRAY = 10,  // indexes into a grey palette (one byte an entry)
  IMAGE_KIND_INDEXED_RGB = 11,   // indexes into an R, G, B palette
};
// The colour flag of a result.
enum : int { IMAGE_COLOR_GRAY = 1, IMAGE_COLOR_COLOR = 2 };
// The compression kind of a result (not the PCL XL CompressMode).
enum : int { IMAGE_COMP_NONE = 0, IMAGE_COMP_DELTAROW = 1, IMAGE_COMP_RLE = 2 };
// PCL XL CompressMode values sent.
enum : BYTE {
  IMAGE_XL_NOCOMPRESSION = 0,
  IMAGE_XL_RLE = 1,
  IMAGE_XL_JPEG = 2,
  IMAGE_XL_DELTAROW = 3,
};
// PadBytesMultiple sent: 4 for rows, 3 with JPEG (the printer ignores it there).
constexpr BYTE IMAGE_PAD_ROWS = 4;
constexpr BYTE IMAGE_PAD_JPEG = 3;
// ColorDepth values (attribute 98).
enum : BYTE { IMAGE_DEPTH_1 = 0, IMAGE_DEPTH_4 = 1, IMAGE_DEPTH_8 = 2 };
// The PadBytesMultiple of a ReadImage that names none.
constexpr DWORD IMAGE_XL_DEFAULT_PAD = 4;

// DDM 330, image compression.
enum : LONG { IMAGECOMP_SETTING_NONE = 0, IMAGECOMP_SETTING_ROWS = 1, IMAGECOMP_SETTING_JPEG = 2 };

// ImageComp_GetCompressMethod's requests and methods.
enum : int {
  IMAGECOMP_METHOD_NONE = 1,
  IMAGECOMP_METHOD_JPEG = 4,
  IMAGECOMP_METHOD_1BIT_A = 6,
  IMAGECOMP_METHOD_1BIT_B = 7,
  IMAGECOMP_METHOD_INDEXED_CT = 8,  // the indexed / continuous-tone alternative
};
constexpr size_t IMAGECOMP_MIN_BYTES = 1024;  // data below this is never compressed by a method
// The two further arguments Image_RotComp always hands the JPEG request.
constexpr int IMAGECOMP_JPEG_ARG_COLORSPACE = 2;
constexpr int IMAGECOMP_JPEG_ARG_ROP = 204;

// ImageComp_CompressByJPEG's results.
enum : int {
  IMAGEJPEG_DONE = 0,           // smaller than the raw data; read back
  IMAGEJPEG_NOT_SMALLER = 3,    // discarded, the image goes uncompressed
  IMAGEJPEG_READ_FAILED = 4101, // read back failed
  IMAGEJPEG_NO_FILE = 5,        // the compression file did not open
  IMAGEJPEG_LIBRARY = 37,       // the library ended the compression (a failed write is its code 37)
};
constexpr int IMAGEJPEG_QUALITY = 83;
constexpr DWORD IMAGEJPEG_PIECE = 4096;  // the destination's buffer, written a piece at a time

// ROP3 values the re-encoding looks at.
constexpr BYTE IMAGE_ROP_MASK_A = 184;  // 0xB8: one-bit mask images are not converted
constexpr BYTE IMAGE_ROP_MASK_B = 226;  // 0xE2
constexpr BYTE IMAGE_ROP_SRCCOPY = 204; // 0xCC

// ---- the image and its result ---------------------------------------------------

// The image being re-encoded. data holds height rows of rowBytes (no pad);
// it is the re-encoding's own copy, never the incoming token.
struct ImageDesc {
  DWORD width;      // of the data as it lies (a marked image is declared turned)
  DWORD height;
  int kind;         // IMAGE_KIND_*
  int bpp;          // bits per pixel (GetBPP)
  BYTE depth;       // ColorDepth
  bool mark;        // the renderer's rotation mark: turn a quarter clockwise
  bool indexed;
  XLData* palette;  // the palette token in the list (R, G, B or grey), or null
  DWORD paletteCount;
  BYTE* data;       // GlobalAlloc block
  size_t rowBytes;
  bool bgr;         // data holds B, G, R (between the gathering and the output)
  bool toGray;      // direct colour turned grey: the ColorSpace goes grey with the new data
  BYTE* paletteWork;  // B, G, R copy of an R, G, B palette while it is converted (GlobalAlloc)
};

struct ImageRotCompResult {
  DWORD width;
  DWORD height;
  int palette;        // 1 indexed
  int color;          // IMAGE_COLOR_*
  BYTE depth;
  int compression;    // IMAGE_COMP_*
  int jpeg;           // 1 JPEG data
  WORD startLine;     // always 0
  WORD blockHeight;   // the image height
  size_t paddedRow;
  size_t uncompressedSize;  // rows x padded row; for JPEG the raw pixel bytes
  size_t compressedSize;
  size_t padBytes;
  size_t padEncoded;  // one row's pad, encoded
  BYTE* uncompressed; // GlobalAlloc blocks
  BYTE* compressed;
};

// ---- the pieces ------------------------------------------------------------------

// Bits per pixel: direct 24 (colour) or 8 (grey); indexed depth 2: 8, 1: 4,
// 0: 1. colorKind IMAGE_COLOR_*. 0, or -1 for a depth it does not know.
int GetBPP(int* out, int colorKind, BOOL indexed, int depth);

// The rotation work buffer: grows for a larger image, never shrinks,
// cleared before each use. One per job.
struct ImgRotHandle {
  BYTE* buffer;
  size_t size;
};
int imgrot_CreateHandle(ImgRotHandle** handle);
int imgrot_DeleteHandle(ImgRotHandle** handle);
// A quarter turn clockwise of width x height pixels (rows of sourceRow
// bytes) at 8, 16, 24 or 32 bits: *out receives width rows of height
// pixels, each rounded up to alignment bytes, in the handle's buffer.
// 0 done; 1 another depth or no memory (nothing turned).
int imgrot_ImageRotation(ImgRotHandle* handle, DWORD width, DWORD height, size_t sourceRow, int bpp,
                         const BYTE* data, DWORD alignment, BYTE** out);

// PackBits run-length as PCL XL's method 1 reads it. Answers the encoded
// length, or -1 when it would pass `capacity` (nothing past it is
// written). A null out only measures.
int64_t RLECompress(BYTE* out, size_t capacity, const BYTE* data, size_t count);
// One delta row (PCL XL's method 3) of count bytes against seed: the
// 16-bit length (low byte first) and the commands. Answers the bytes
// written, or -1 when they would pass capacity or the length does not fit
// 16 bits.
int64_t DeltaRowCompress(BYTE* out, size_t capacity, const BYTE* row, const BYTE* seed, size_t count);
// Swaps bytes 0 and 2 of count x rows triplets.
void BGRtoRGB(BYTE* data, size_t count, size_t rows);
// The rows of `rows` (height rows of rowBytes) into the result's buffers:
// padded rows, run-length rows (each followed by its pad's encoding), delta
// rows against a zeroed seed. 0, or -1 (no memory, no room: the caller
// sends the image uncompressed).
int MakeXLdata(ImageRotCompResult* result, const BYTE* rows, size_t rowBytes);
int MakeXLdata_RLE(ImageRotCompResult* result, const BYTE* rows, size_t rowBytes);
int MakeXLdata_DeltaRow(ImageRotCompResult* result, const BYTE* rows, size_t rowBytes);
void ImageRotComp_Free(ImageRotCompResult* result);

// The compression choice for one image.
struct IMAGECOMP_DATA {
  int kind;     // IMAGE_KIND_*
  int bpp;
  size_t size;  // bytes of the image data
  int colorSpace;  // IMAGECOMP_JPEG_ARG_COLORSPACE from Image_RotComp
  int rop;         // IMAGECOMP_JPEG_ARG_ROP from Image_RotComp
};
// *method receives the method; true when it is IMAGECOMP_METHOD_NONE.
bool ImageComp_GetCompressMethod(int request, const IMAGECOMP_DATA* data, int* method);
// The image's pixels (R, G, B for 3 components, grey for 1; rows of
// width x components bytes) as JPEG in the job's compression file
// (opened when not open, written from offset 0); when smaller than
// rawSize the JPEG is read back into out (capacity rawSize) and *length set.
// IMAGEJPEG_* result.
int ImageComp_CompressByJPEG(UmpdJobContext* ctx, const BYTE* pixels, DWORD width, DWORD height, int components,
                             BYTE* out, size_t rawSize, size_t* length);
// The destination manager and error handler the JPEG compression uses:
// the job's compression file. Exposed for the tests (file writes in
// 4096-byte pieces, a failure ends the compression).
struct jpeg_compress_struct;
void imgjpeg_TempFileDest(jpeg_compress_struct* cinfo, tempFile* file);
// The JPEG length the destination wrote for the last compression.
size_t imgjpeg_DestLength(jpeg_compress_struct* cinfo);

// True when every entry of the R, G, B palette is pure black or pure white.
bool CheckBWPalette(const BYTE* palette, DWORD count);

// ---- the list --------------------------------------------------------------------

// Re-encodes the image the pending list holds (at its EndImage). XLCC_PASS:
// the list goes out with the EndImage; XLCC_HELD: the outside library
// holds the image (the list has moved to the context's image list);
// XLCC_ERROR: the job ends (no memory for a token). The rotation mark
// (attribute 253) leaves the list on every path but the held one, whose
// images keep it until OutputNIESpool re-encodes them.
int OutputImageData(UmpdJobContext* ctx, XLData** list);
// Converts (through the outside library while its set is usable) and
// re-encodes every image of the context's image list. 0, or -1 when a
// token could not be made (the job ends).
int OutputNIESpool(UmpdJobContext* ctx);
// Converts the image's pixels or palette: the outside library when nie,
// the LCC block, the black-and-white output's grey.
void Image_ColorConvert(UmpdJobContext* ctx, XLData** list, ImageDesc* image, bool nie);
// Rotation and compression: the result, or null (no memory): the image
// then goes out with its incoming data. DDM 330 unreadable is no
// compression.
ImageRotCompResult* Image_RotComp(UmpdJobContext* ctx, ImageDesc* image, bool rotate);
// Replaces the incoming ReadImage by one carrying the result. 0, or -1
// when a token could not be made (the list is then unchanged).
int OutputReadImage(UmpdJobContext* ctx, XLData** list, ImageRotCompResult* result);
int SetReadImage(UmpdJobContext* ctx, XLData** list, ImageRotCompResult* result);
void DeleteReadImage(UmpdJobContext* ctx, XLData** list);
// BeginImage's ColorMapping (attribute 100) set to value. 0, or -1 without one.
int SetBeginImage(UmpdJobContext* ctx, XLData** list, BYTE value);
// The ColorSpace (attribute 3) set to grey. 0, or -1 without one.
int SetColorSpaceGray(XLData** list);
// Every attribute 253 with its value leaves the list.
void Image_RemoveRotationMark(UmpdJobContext* ctx, XLData** list);

// The job's image state released (rotation buffer, compression file and
// its registry record). Called by the colour conversion's end.
void Image_ExitJob(UmpdJobContext* ctx);
