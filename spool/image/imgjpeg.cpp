// JPEG compression of an image through libjpeg's version-6b interface:
// defaults, optimised Huffman tables, quality 83 with baseline forced, one
// row per call, into the job's compression file through our own
// destination manager (4096-byte pieces); read back when smaller than the
// raw data.
//
// Decisions:
//  - The compression file serves the whole job: every image is written
//    from offset 0 and only its own length (counted by the destination) is
//    read back, never the file's size.
//  - The library's fatal errors (a size beyond its limit, a failed write
//    of a piece: its code 37) jump back here; the compression is
//    destroyed and the image goes uncompressed. Warnings are not shown.
//  - The destination manager has its own name (imgjpeg_TempFileDest): the
//    library exports jpeg_stdio_dest itself.
#include <csetjmp>
#include <cstdio>
#include <cstring>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

#include "kestrel/core/logout.h"
#include "kestrel/spool/image.h"

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;  // first: the library sees this
  std::jmp_buf jump;
  int code;
};

// The library ends the compression: back to the caller, never into the
// library again.
[[noreturn]] void error_exit(j_common_ptr cinfo) {
  ErrorManager* e = reinterpret_cast<ErrorManager*>(cinfo->err);
  e->code = e->pub.msg_code;
  std::longjmp(e->jump, 1);
}

void output_message(j_common_ptr) {}

struct Destination {
  jpeg_destination_mgr pub;  // first: the library sees this
  tempFile* file;
  JOCTET* buffer;
  size_t length;  // bytes written for this image
};

void init_destination(j_compress_ptr cinfo) {
  Destination* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->buffer = static_cast<JOCTET*>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, IMAGEJPEG_PIECE));
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = IMAGEJPEG_PIECE;
  d->length = 0;
}

// Writes n bytes of the buffer at the file's position; a short or failed
// write ends the compression (the library's file-write error).
void WritePiece(j_compress_ptr cinfo, Destination* d, size_t n) {
  if (n == 0) return;
  if (tempFile_write(d->file, d->buffer, static_cast<uint32_t>(n)) != static_cast<int32_t>(n)) {
    ERREXIT(cinfo, JERR_FILE_WRITE);
  }
  d->length += n;
}

boolean empty_output_buffer(j_compress_ptr cinfo) {
  Destination* d = reinterpret_cast<Destination*>(cinfo->dest);
  WritePiece(cinfo, d, IMAGEJPEG_PIECE);
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = IMAGEJPEG_PIECE;
  return TRUE;
}

void term_destination(j_compress_ptr cinfo) {
  Destination* d = reinterpret_cast<Destination*>(cinfo->dest);
  WritePiece(cinfo, d, IMAGEJPEG_PIECE - d->pub.free_in_buffer);
}

// The compression itself; 0, or the library's error code. Nothing here
// needs unwinding: the jump lands before any object with a destructor.
int Compress(tempFile* file, const BYTE* pixels, DWORD width, DWORD height, int components, size_t* length) {
  jpeg_compress_struct cinfo;
  ErrorManager err;
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = error_exit;
  err.pub.output_message = output_message;
  err.code = 0;
  if (setjmp(err.jump) != 0) {
    jpeg_destroy_compress(&cinfo);
    return err.code != 0 ? err.code : IMAGEJPEG_LIBRARY;
  }
  jpeg_create_compress(&cinfo);  // this platform's structure size
  imgjpeg_TempFileDest(&cinfo, file);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  cinfo.optimize_coding = TRUE;
  jpeg_set_quality(&cinfo, IMAGEJPEG_QUALITY, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  const size_t row = static_cast<size_t>(width) * static_cast<size_t>(components);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW line = const_cast<JSAMPROW>(pixels + static_cast<size_t>(cinfo.next_scanline) * row);
    jpeg_write_scanlines(&cinfo, &line, 1);
  }
  jpeg_finish_compress(&cinfo);
  *length = imgjpeg_DestLength(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return 0;
}

}  // namespace

void imgjpeg_TempFileDest(jpeg_compress_struct* cinfo, tempFile* file) {
  if (cinfo->dest == nullptr) {
    cinfo->dest = static_cast<jpeg_destination_mgr*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(Destination)));
  }
  Destination* d = reinterpret_cast<Destination*>(cinfo->dest);
  d->pub.init_destination = init_destination;
  d->pub.empty_output_buffer = empty_output_buffer;
  d->pub.term_destination = term_destination;
  d->file = file;
  d->buffer = nullptr;
  d->length = 0;
}

size_t imgjpeg_DestLength(jpeg_compress_struct* cinfo) {
  return cinfo->dest != nullptr ? reinterpret_cast<Destination*>(cinfo->dest)->length : 0;
}

int ImageComp_CompressByJPEG(UmpdJobContext* ctx, const BYTE* pixels, DWORD width, DWORD height, int components,
                             BYTE* out, size_t rawSize, size_t* length) {
  if (ctx == nullptr || pixels == nullptr || out == nullptr || length == nullptr ||
      (components != 1 && components != 3)) {
    return IMAGEJPEG_LIBRARY;
  }
  tempFile* file = &ctx->xlcc.compressFile;
  if (tempFile_status(file) != 1 && tempFile_open(file) != 0) return IMAGEJPEG_NO_FILE;
  if (tempFile_seekSet(file, 0) != 0) return IMAGEJPEG_NO_FILE;
  size_t written = 0;
  const int rc = Compress(file, pixels, width, height, components, &written);
  if (rc != 0) {
    Logout_OutputString(u"kestrelum: image: JPEG ended by the library (%d); sent uncompressed", rc);
    return IMAGEJPEG_LIBRARY;
  }
  if (written >= rawSize) return IMAGEJPEG_NOT_SMALLER;
  if (tempFile_seekSet(file, 0) != 0 ||
      tempFile_read(file, out, static_cast<uint32_t>(written)) != static_cast<int32_t>(written)) {
    return IMAGEJPEG_READ_FAILED;
  }
  *length = written;
  return IMAGEJPEG_DONE;
}
