#include "io/jpeg_file.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "core/atomic_file.h"
#include "core/input_limits.h"

namespace caustica {

namespace {

// libjpeg reports fatal errors by calling error_exit, which must not
// return; we jump back to the caller instead of letting it abort.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool truncated;
};

void OnError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

// Warnings stay silent, but a file cut short (libjpeg pads it with grey)
// is remembered so that it can be refused.
void OnEmit(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
    reinterpret_cast<ErrorManager*>(info->err)->truncated = true;
}

void OnMessage(j_common_ptr /*info*/) {}

jpeg_error_mgr* InstallErrorManager(ErrorManager& manager) {
  jpeg_error_mgr* err = jpeg_std_error(&manager.pub);
  manager.pub.error_exit = OnError;
  manager.pub.output_message = OnMessage;
  manager.pub.emit_message = OnEmit;
  manager.message[0] = 0;
  manager.truncated = false;
  return err;
}

void SetError(std::string* error, const char* text) {
  if (error) *error = text;
}

// Everything that outlives a longjmp lives in the caller's frame: this
// function holds no object with a destructor between setjmp and the end.
bool DecodeInto(const unsigned char* data, unsigned long size, std::vector<std::uint8_t>& rgb, int& width,
                int& height, char* message) {
  jpeg_decompress_struct info;
  ErrorManager manager;
  info.err = InstallErrorManager(manager);
  if (setjmp(manager.jump)) {
    std::strncpy(message, manager.message, JMSG_LENGTH_MAX - 1);
    message[JMSG_LENGTH_MAX - 1] = 0;
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, size);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;  // grey and YCbCr both come out as RGB
  // Checked on the header alone: a progressive decoder would otherwise keep
  // the coefficients of the whole announced picture.
  const std::int64_t pixels = static_cast<std::int64_t>(info.image_width) * info.image_height;
  if (pixels > kMaxFramePixels || pixels * info.num_components > kMaxJpegSamples) {
    std::strncpy(message, "picture too large", JMSG_LENGTH_MAX - 1);
    jpeg_destroy_decompress(&info);
    return false;
  }
  // A second guard for whatever the library keeps besides the rows.
  info.mem->max_memory_to_use = static_cast<long>(kMaxJpegSamples * 2);
  jpeg_start_decompress(&info);
  if (info.output_components != 3) {
    std::strncpy(message, "unsupported colour layout", JMSG_LENGTH_MAX - 1);
    jpeg_destroy_decompress(&info);
    return false;
  }
  width = static_cast<int>(info.output_width);
  height = static_cast<int>(info.output_height);
  rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row =
        rgb.data() + static_cast<std::size_t>(info.output_scanline) * static_cast<std::size_t>(width) * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  const bool truncated = manager.truncated;
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  if (truncated) {
    std::strncpy(message, "truncated JPEG file", JMSG_LENGTH_MAX - 1);
    return false;
  }
  return true;
}

bool EncodeInto(const TRaster& image, int quality, unsigned char** buffer, unsigned long* size,
                char* message) {
  jpeg_compress_struct info;
  ErrorManager manager;
  info.err = InstallErrorManager(manager);
  if (setjmp(manager.jump)) {
    std::strncpy(message, manager.message, JMSG_LENGTH_MAX - 1);
    message[JMSG_LENGTH_MAX - 1] = 0;
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, buffer, size);
  info.image_width = static_cast<JDIMENSION>(image.Width);
  info.image_height = static_cast<JDIMENSION>(image.Height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  // Full-resolution colour: false-colour maps have sharp hue edges that
  // chroma subsampling would smear.
  for (int i = 0; i < info.num_components; ++i)
    info.comp_info[i].h_samp_factor = info.comp_info[i].v_samp_factor = 1;
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.Rgb.data() + static_cast<std::size_t>(info.next_scanline) *
                                                               static_cast<std::size_t>(image.Width) * 3);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool DecodeJpegBytes(const unsigned char* data, std::size_t size, TRaster& image, std::string* error) {
  image = TRaster{};
  if (data == nullptr || size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
    SetError(error, "not a JPEG file");
    return false;
  }
  std::vector<std::uint8_t> rgb;
  int width = 0, height = 0;
  char message[JMSG_LENGTH_MAX] = {0};
  if (!DecodeInto(data, static_cast<unsigned long>(size), rgb, width, height, message)) {
    SetError(error, message[0] ? message : "cannot decode the JPEG file");
    return false;
  }
  image.Width = width;
  image.Height = height;
  image.Rgb = std::move(rgb);
  return true;
}

bool DecodeJpegFile(const std::string& fileName, TRaster& image, std::string* error) {
  image = TRaster{};
  std::ifstream in(fileName, std::ios::binary);
  if (!in) {
    SetError(error, "cannot open the file");
    return false;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  if (length <= 0 || length > (std::streamoff(1) << 31)) {
    SetError(error, "not a JPEG file");
    return false;
  }
  in.seekg(0);
  std::vector<unsigned char> bytes(static_cast<std::size_t>(length));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), length)) {
    SetError(error, "cannot read the file");
    return false;
  }
  return DecodeJpegBytes(bytes.data(), bytes.size(), image, error);
}

bool EncodeJpegFile(const std::string& fileName, const TRaster& image, int quality, std::string* error) {
  if (image.Empty() || image.Rgb.size() < static_cast<std::size_t>(image.Width) * image.Height * 3) {
    SetError(error, "empty picture");
    return false;
  }
  if (image.Width > JPEG_MAX_DIMENSION || image.Height > JPEG_MAX_DIMENSION) {
    SetError(error, "picture too large for JPEG");
    return false;
  }
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  char message[JMSG_LENGTH_MAX] = {0};
  const bool encoded =
      EncodeInto(image, quality < 1 ? 1 : (quality > 100 ? 100 : quality), &buffer, &size, message);
  bool ok = false;
  if (encoded) {
    ok = WriteFileAtomically(fileName, std::string_view(reinterpret_cast<const char*>(buffer), size), error);
  } else {
    SetError(error, message[0] ? message : "cannot encode the picture");
  }
  std::free(buffer);
  return ok;
}

}  // namespace caustica
